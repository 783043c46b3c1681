// SPDX-License-Identifier: MIT
#include "commands/SpezzaRiga.h"

#include <streambuf>

void SpezzaRiga(std::string_view record, LineFields& fields)
{
    for (auto& f : fields.field)
        f.clear();
    size_t counter = 0;
    size_t start = 0;
    for (size_t i = 0; i <= record.size() && counter < fields.field.size(); ++i) {
        if (i == record.size() || record[i] == ':') {
            fields.field[counter].assign(record.substr(start, i - start));
            ++counter;
            start = i + 1;
        }
    }
}

namespace {
constexpr int Eof = std::char_traits<char>::eof();

bool isBlank(int c)
{
    return c == ' ' || c == '\t';
}

bool endsRecord(int c)
{
    return c == ',' || c == '\r' || c == '\n';
}
} // namespace

RecordReader::RecordReader(std::istream& in) : m_in(in) {}

RecordReader::Result RecordReader::next(std::string& record)
{
    std::streambuf* buf = m_in.rdbuf();
    if (!buf)
        return Result::End;
    for (;;) {
        record.clear();
        int c = buf->sgetc();
        while (isBlank(c))
            c = buf->snextc();
        if (c == Eof)
            return Result::End;

        bool tooLong = false;
        m_endedAtComma = false;
        auto keep = [&](int ch) {
            if (record.size() < MaxRecord)
                record.push_back(static_cast<char>(ch));
            else
                tooLong = true;
        };

        if (c == '"') {
            // Quoted: commas and line ends belong to the record. An unclosed
            // quote takes the rest of the file; MaxRecord still bounds it.
            c = buf->snextc();
            while (c != Eof && c != '"') {
                keep(c);
                c = buf->snextc();
            }
            if (c == '"')
                c = buf->snextc();
            // Whatever follows the closing quote up to the record's end is
            // not part of the record.
            while (c != Eof && !endsRecord(c))
                c = buf->snextc();
        } else {
            while (c != Eof && !endsRecord(c)) {
                keep(c);
                c = buf->snextc();
            }
            m_endedAtComma = c == ',';
        }
        if (c != Eof)
            buf->sbumpc();

        if (tooLong)
            return Result::TooLong;
        // Blank lines, a comma at a line's end and "" carry no command: they
        // are not records, so they cannot end a file by the outcome rule.
        if (!record.empty())
            return Result::Record;
    }
}
