// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <istream>
#include <string>
#include <string_view>

// The line fields of the record being run: fields 0 to 9 (the tenth is split
// off and used by no command). Emptied before every record.
struct LineFields {
    std::array<std::string, 10> field;
    const std::string& operator[](size_t i) const { return field[i]; }
};

// Splits a record at ":" into fields 0 to 9; the tenth colon ends field 9
// and everything after it is ignored.
void SpezzaRiga(std::string_view record, LineFields& fields);

// Reads the records of a command file (8-bit text): line ends (CR, LF,
// CR LF) and commas end a record; leading blanks (space, tab) are dropped; a
// record that opens with a double quote runs to the next double quote, commas
// and line ends included, and loses both quotes; text after the closing quote
// up to the record's end is dropped, and a quote never closed runs to the end
// of the file. Empty records (blank lines, a comma at a line's end, "") are
// skipped. Every other byte, NUL and 0x80-0xFF included, is kept as it is.
// Streams: at most MaxRecord bytes are held, whatever the file holds.
class RecordReader {
public:
    static constexpr size_t MaxRecord = 64 * 1024;
    enum class Result { Record, End, TooLong };

    explicit RecordReader(std::istream& in);
    // The next record. TooLong: a record longer than MaxRecord bytes; its
    // first MaxRecord bytes are in `record` and the reader is left at its end.
    Result next(std::string& record);
    // The last record read ended at a comma outside double quotes.
    bool endedAtComma() const { return m_endedAtComma; }

private:
    std::istream& m_in;
    bool m_endedAtComma = false;
};
