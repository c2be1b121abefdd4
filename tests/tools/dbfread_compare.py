"""Compares quorvel's JSON lines of a table with python3-dbfread's reading of the same file.

Usage: dbfread_compare.py TABLE JSONL ENCODING KIND
KIND is "alarm" or "event" (keys are record member names) or "generic" (keys are the column
names). Prints each disagreement and exits 1 when there is any.
"""
import datetime
import json
import sys

from dbfread import DBF

MEMBERS = {
    "alarm": {
        "Date": "date", "Time": "time", "Militime": "militime", "TransType": "transType",
        "TagName": "tagName", "TagValue": "tagValue", "TagType": "tagType",
        "ThreshVal": "threshVal", "ThreshNum": "threshNum", "ThreshLabl": "threshLabel",
        "Severity": "severity", "DstFlag": "dstFlag", "UserId": "userId",
        "AlarmType": "alarmType", "Dscription": "description", "UserStn": "userStn",
        "LoggingStn": "loggingStn",
    },
    "event": {
        "Type": "type", "Id": "id", "Date": "date", "Time": "time", "Militime": "militime",
        "DstFlag": "dstFlag", "Category": "category", "Source": "source", "User": "user",
        "Dscrptn": "description", "UserStn": "userStn", "LoggingStn": "loggingStn",
    },
    "generic": {},
}


def expected(value):
    if isinstance(value, datetime.date):
        return value.isoformat()
    return value


def same(want, got):
    if isinstance(want, bool) or isinstance(got, bool):
        return want is got
    if isinstance(want, (int, float)) and isinstance(got, (int, float)):
        return float(want) == float(got)
    return want == got


def main():
    table_path, jsonl_path, encoding, kind = sys.argv[1:5]
    names = MEMBERS[kind]
    table = DBF(table_path, encoding=encoding, char_decode_errors="strict")
    records = list(table)
    with open(jsonl_path, encoding="utf-8") as f:
        rows = [json.loads(line) for line in f]
    problems = []
    if len(records) != len(rows):
        problems.append(f"dbfread reads {len(records)} rows, quorvel printed {len(rows)}")
    for i, (record, row) in enumerate(zip(records, rows)):
        if len(record) != len(row):
            problems.append(f"row {i}: {len(record)} columns against {len(row)} keys")
        for column, value in record.items():
            key = names.get(column, column)
            if key not in row:
                problems.append(f"row {i}: no key {key!r}")
            elif not same(expected(value), row[key]):
                problems.append(f"row {i} {key}: dbfread {expected(value)!r}, quorvel {row[key]!r}")
    for p in problems[:20]:
        print(p)
    sys.exit(1 if problems else 0)


main()
