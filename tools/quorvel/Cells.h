// The tool's view of a row: named columns and one typed cell per column. Every row source (alarm,
// event and generic tables) produces these, and every output format consumes them.
#ifndef QUORVEL_TOOLS_CELLS_H
#define QUORVEL_TOOLS_CELLS_H

#include <string>
#include <vector>

namespace qvtool {

struct Column {
    std::string name;  // record member name for log tables, the column name otherwise
    char chType;       // the table column's type letter: 'C', 'D', 'F', 'L' or 'N'
    int nWidth;        // the table column's width
};

struct Cell {
    enum class Type : unsigned char {
        kNull,     // no value: an empty date, a blank number in a generic table
        kText,     // text: bytes as stored, trailing blanks removed
        kInteger,  // integer
        kReal,     // floating point (may be NaN or infinite when a table says so)
        kBool,     // logical, in integer
        kDate,     // a date as a 32-bit time value (local midnight), in integer; never 0
    };
    Type type = Type::kNull;
    std::string text;
    long long integer = 0;
    double real = 0.0;

    void SetNull() { type = Type::kNull; }
    void SetText(const char* p, size_t n) {
        type = Type::kText;
        text.assign(p, n);
    }
    void SetInteger(long long v) {
        type = Type::kInteger;
        integer = v;
    }
    void SetReal(double v) {
        type = Type::kReal;
        real = v;
    }
    void SetBool(bool v) {
        type = Type::kBool;
        integer = v ? 1 : 0;
    }
    // A time value of 0 is the empty date.
    void SetDate(long long t) {
        if (t == 0) {
            type = Type::kNull;
        } else {
            type = Type::kDate;
            integer = t;
        }
    }
};

using Row = std::vector<Cell>;

}  // namespace qvtool

#endif  // QUORVEL_TOOLS_CELLS_H
