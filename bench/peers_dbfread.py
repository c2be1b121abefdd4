"""Reads every record of a dBASE table with dbfread, typed (numbers, dates, text), and prints the
row count: the Python peer in bench/peers. Run it with Debian's /usr/bin/python3, the only
interpreter that has python3-dbfread."""
import sys

from dbfread import DBF


def main():
    rows = 0
    for record in DBF(sys.argv[1], load=False, encoding="latin-1"):
        rows += 1
    print("%d rows" % rows)


if __name__ == "__main__":
    main()
