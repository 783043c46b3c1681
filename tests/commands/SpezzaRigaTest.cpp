// SPDX-License-Identifier: MIT
#include "commands/SpezzaRiga.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

// ---------------------------------------------------------------- SpezzaRiga

struct SplitCase {
    const char* name;
    std::string record;
    std::vector<std::string> fields; // fields 0.. as given; the rest must be empty
};
void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.name;
}

class SpezzaRigaSplits : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SpezzaRigaSplits, FillsFieldsFromTheLeftAndEmptiesTheRest)
{
    const auto& c = GetParam();
    LineFields fields;
    SpezzaRiga(c.record, fields);
    for (size_t i = 0; i < fields.field.size(); ++i) {
        const std::string expected = i < c.fields.size() ? c.fields[i] : std::string();
        EXPECT_EQ(fields[i], expected) << "field " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Records, SpezzaRigaSplits,
    ::testing::Values(
        SplitCase{"Sale", "F2:1:PANE:2000:150:3", {"F2", "1", "PANE", "2000", "150", "3"}},
        SplitCase{"NoColonIsFieldZeroAlone", "A DOMANI", {"A DOMANI"}}, SplitCase{"EmptyRecord", "", {}},
        SplitCase{"TrailingColonLeavesEmptyField", "F5:1:", {"F5", "1", ""}},
        SplitCase{"EmptyFieldsBetweenColons", "F3:1:X:150:1::100", {"F3", "1", "X", "150", "1", "", "100"}},
        SplitCase{"BlanksAreNotTrimmed", " F2 : 1 :PANE  ", {" F2 ", " 1 ", "PANE  "}},
        SplitCase{
            "TenthColonEndsFieldNine", "0:1:2:3:4:5:6:7:8:9:X", {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}},
        SplitCase{"TwelveColonsKeepFieldsZeroToNine",
                  "a:b:c:d:e:f:g:h:i:j:k:l:m",
                  {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}},
        SplitCase{"BytesPassUnchanged",
                  "D1:1:TOTALE \x80 5\xe0"s + '\0' + "X",
                  {"D1", "1", "TOTALE \x80 5\xe0"s + '\0' + "X"}}),
    rownames::byName);

TEST(SpezzaRigaReuse, NothingSurvivesFromThePreviousRecord)
{
    LineFields fields;
    SpezzaRiga("F2:1:PANE:2000:150:3:6:7:8:9", fields);
    SpezzaRiga("N1:4", fields);
    EXPECT_EQ(fields[0], "N1");
    EXPECT_EQ(fields[1], "4");
    for (size_t i = 2; i < fields.field.size(); ++i)
        EXPECT_EQ(fields[i], "") << "field " << i;
}

// -------------------------------------------------------------- RecordReader

std::vector<std::string> readAll(const std::string& bytes)
{
    std::istringstream in(bytes);
    RecordReader reader(in);
    std::vector<std::string> records;
    std::string record;
    for (;;) {
        const auto r = reader.next(record);
        if (r == RecordReader::Result::End)
            break;
        records.push_back(r == RecordReader::Result::TooLong ? "<too long>" : record);
        if (records.size() > 100)
            break; // a reader that never ends must fail, not hang
    }
    return records;
}

struct ReadCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> records;
};
void PrintTo(const ReadCase& c, std::ostream* os)
{
    *os << c.name;
}

class RecordReaderReads : public ::testing::TestWithParam<ReadCase> {};

TEST_P(RecordReaderReads, GivesTheRecordsOfTheFile)
{
    EXPECT_EQ(readAll(GetParam().bytes), GetParam().records);
}

INSTANTIATE_TEST_SUITE_P(
    Files, RecordReaderReads,
    ::testing::Values(
        ReadCase{"EmptyFile", "", {}},
        ReadCase{"CrLfLines", "N1:1\r\nN2:1:RIGA\r\nN3:1\r\n", {"N1:1", "N2:1:RIGA", "N3:1"}},
        ReadCase{"LoneLfLines", "N1:1\nN3:1\n", {"N1:1", "N3:1"}},
        ReadCase{"LoneCrLines", "N1:1\rN3:1\r", {"N1:1", "N3:1"}},
        ReadCase{"MixedLineEnds", "V1:1\r\nV1:2\nV1:3\rV1:4", {"V1:1", "V1:2", "V1:3", "V1:4"}},
        ReadCase{"NoFinalLineEnd", "V1:1", {"V1:1"}},
        ReadCase{"CommaEndsARecord", "D1:1:BUONGIORNO, A DOMANI\r\n", {"D1:1:BUONGIORNO", "A DOMANI"}},
        ReadCase{"LeadingBlanksDroppedTrailingKept", " \t F6:1::PUNTI 10  \r\n", {"F6:1::PUNTI 10  "}},
        ReadCase{"QuotedRecordKeepsCommas",
                 "\"D1:1:BUONGIORNO, A DOMANI\"\r\nV1:1\r\n",
                 {"D1:1:BUONGIORNO, A DOMANI", "V1:1"}},
        ReadCase{"QuotedRecordKeepsLineEnds", "\"N2:1:UNO\r\nDUE\"\r\n", {"N2:1:UNO\r\nDUE"}},
        ReadCase{"BlanksBeforeAnOpeningQuote", "   \"D1:1:A, B\"\r\n", {"D1:1:A, B"}},
        ReadCase{"TextAfterClosingQuoteDropped", "\"D1:1:A, B\" resto:9,V1:1\r\n", {"D1:1:A, B", "V1:1"}},
        ReadCase{"QuoteInsideARecordIsText", "F5:1:DETTO \"CIAO\"\r\n", {"F5:1:DETTO \"CIAO\""}},
        ReadCase{"UnclosedQuoteRunsToTheEnd", "\"D1:1:A\r\nV1:1, V1:2\r\n", {"D1:1:A\r\nV1:1, V1:2\r\n"}},
        ReadCase{"BlankLinesAreNoRecords", "\r\n\r\n   \r\n\t\nV1:1\r\n\r\n", {"V1:1"}},
        ReadCase{"CommaAtLineEndAddsNoRecord", "N1:1,\r\nN3:1,\r\n", {"N1:1", "N3:1"}},
        ReadCase{"EmptyQuotedRecordIsNoRecord", "\"\"\r\nV1:1\r\n", {"V1:1"}}, ReadCase{"OnlyCommas", ",,, ,\r\n", {}},
        ReadCase{"NulAndHighBytesKept", "D1:1:A"s + '\0' + "B \x80\xff\r\n", {"D1:1:A"s + '\0' + "B \x80\xff"}}),
    rownames::byName);

// The 64 KiB bound: a record may be exactly MaxRecord bytes; one byte more
// fails it, keeps only MaxRecord bytes and leaves the reader at its end.
class RecordReaderBound : public ::testing::Test {
protected:
    static constexpr size_t Max = RecordReader::MaxRecord;
};

TEST_F(RecordReaderBound, RecordOfExactlyTheBoundIsRead)
{
    const std::string body(Max, 'A');
    EXPECT_EQ(readAll(body + "\r\nV1:1"), (std::vector<std::string>{body, "V1:1"}));
}

TEST_F(RecordReaderBound, LongerRecordIsTooLongAndReadingGoesOnAfterIt)
{
    std::istringstream in("V1:1\r\n" + std::string(Max + 1, 'A') + "\r\nV1:2");
    RecordReader reader(in);
    std::string record;
    ASSERT_EQ(reader.next(record), RecordReader::Result::Record);
    ASSERT_EQ(reader.next(record), RecordReader::Result::TooLong);
    EXPECT_EQ(record, std::string(Max, 'A'));
    ASSERT_EQ(reader.next(record), RecordReader::Result::Record);
    EXPECT_EQ(record, "V1:2");
    EXPECT_EQ(reader.next(record), RecordReader::Result::End);
}

TEST_F(RecordReaderBound, LongQuotedRecordSkipsToItsClosingQuote)
{
    const std::string text = "\"" + std::string(Max, 'B') + ",\r\nCC\" coda\r\nV1:2";
    EXPECT_EQ(readAll(text), (std::vector<std::string>{"<too long>", "V1:2"}));
}

TEST_F(RecordReaderBound, UnclosedQuoteOverTheBoundIsTooLong)
{
    EXPECT_EQ(readAll("\"D1:1:" + std::string(3 * Max, 'C')), (std::vector<std::string>{"<too long>"}));
}

// A stream of many megabytes with no line end, made on the fly: the reader
// must hold no more than the bound, whatever the file holds.
class EndlessLine : public std::streambuf {
public:
    EndlessLine(size_t bytes, std::string tail) : m_left(bytes), m_tail(std::move(tail)) {}

protected:
    int_type underflow() override
    {
        if (m_left > 0) {
            const size_t n = std::min(m_left, m_chunk.size());
            m_left -= n;
            setg(m_chunk.data(), m_chunk.data(), m_chunk.data() + n);
        } else if (!m_tail.empty()) {
            m_chunk.assign(m_tail.begin(), m_tail.end());
            m_tail.clear();
            setg(m_chunk.data(), m_chunk.data(), m_chunk.data() + m_chunk.size());
        } else {
            return traits_type::eof();
        }
        return traits_type::to_int_type(*gptr());
    }

private:
    size_t m_left;
    std::string m_tail;
    std::vector<char> m_chunk = std::vector<char>(4096, 'Z');
};

TEST_F(RecordReaderBound, FileWithoutLineEndsHoldsOnlyTheBound)
{
    EndlessLine source(8 * 1024 * 1024, "\nV1:1\n");
    std::istream in(&source);
    RecordReader reader(in);
    std::string record;
    ASSERT_EQ(reader.next(record), RecordReader::Result::TooLong);
    EXPECT_EQ(record.size(), Max);
    EXPECT_LE(record.capacity(), 2 * Max);
    ASSERT_EQ(reader.next(record), RecordReader::Result::Record);
    EXPECT_EQ(record, "V1:1");
}

} // namespace
