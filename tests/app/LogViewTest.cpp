// SPDX-License-Identifier: MIT
#include "app/LogView.h"
#include "bridge/TerminalText.h"
#include "support/FakeClock.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <clocale>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void append(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << bytes;
}

const std::string PrinterRecord = "PrinterError: COR000002.txt;08/12/2026 14:05:09;Livello: 2\r\n"
                                  " EpsonError: 2\r\nFINE CARTA\r\n";

// What a log holds, and the records a one-shot read makes of it.
struct Split {
    const char* name;
    std::string bytes;
    std::vector<LogRecord> records;
};

class LogSplit : public ::testing::TestWithParam<Split> {};

TEST_P(LogSplit, RecordsAreKeptWhole)
{
    QTemporaryDir tmp;
    const fs::path file = testfiles::path(tmp) / "FiscalError.log";
    testfiles::write(file, GetParam().bytes);
    LogReader reader(file);
    EXPECT_EQ(reader.next(true), GetParam().records);
}

INSTANTIATE_TEST_SUITE_P(
    Logs, LogSplit,
    ::testing::Values(
        Split{"OneLineRecords",
              "Tessiro_Error: COR1.txt;08/12/2026 14:05:09;opReparto - 7\r\nAZIONE;08/12/2026 14:06:00;AZIONE: "
              "Avvio\r\n",
              {{"Tessiro_Error: COR1.txt;08/12/2026 14:05:09;opReparto - 7"},
               {"AZIONE;08/12/2026 14:06:00;AZIONE: Avvio"}}},
        Split{"PrinterRecordIsOneBlock",
              PrinterRecord + "AZIONE;x;AZIONE: Fine\r\n",
              {{"PrinterError: COR000002.txt;08/12/2026 14:05:09;Livello: 2", " EpsonError: 2", "FINE CARTA"},
               {"AZIONE;x;AZIONE: Fine"}}},
        Split{"PrinterRecordWithEmptyText",
              "PrinterError: a;b;Livello: 2\r\n EpsonError: 9\r\n\r\nTessiro_Error: c\r\n",
              {{"PrinterError: a;b;Livello: 2", " EpsonError: 9", ""}, {"Tessiro_Error: c"}}},
        Split{"BareLineFeeds", "Tessiro_Error: a\nTessiro_Error: b\n", {{"Tessiro_Error: a"}, {"Tessiro_Error: b"}}},
        Split{
            "LastLineWithoutEnd", "Tessiro_Error: a\r\nTessiro_Error: b", {{"Tessiro_Error: a"}, {"Tessiro_Error: b"}}},
        Split{"PrinterRecordCutShort",
              "PrinterError: a;b;Livello: 2\r\n EpsonError: 9\r\n",
              {{"PrinterError: a;b;Livello: 2", " EpsonError: 9"}}},
        Split{"Empty", "", {}}),
    rownames::byName);

class LogFollow : public ::testing::Test {
protected:
    QTemporaryDir m_tmp;
    fs::path m_dir = testfiles::path(m_tmp);
    fs::path m_file = m_dir / "FiscalError.log";
    FakeClock m_clock;
};

TEST_F(LogFollow, RecordWaitsUntilAllItsLinesAreWritten)
{
    LogReader reader(m_file);
    EXPECT_TRUE(reader.next(false).empty());
    EXPECT_FALSE(reader.exists());
    append(m_file, "Tessiro_Error: a\r\nPrinterError: b;c;Livello: 2\r\n EpsonError: 2\r\n");
    EXPECT_EQ(reader.next(false), (std::vector<LogRecord>{{"Tessiro_Error: a"}}));
    append(m_file, "FINE ");
    EXPECT_TRUE(reader.next(false).empty());
    append(m_file, "CARTA\r\n");
    EXPECT_EQ(reader.next(false),
              (std::vector<LogRecord>{{"PrinterError: b;c;Livello: 2", " EpsonError: 2", "FINE CARTA"}}));
    EXPECT_TRUE(reader.next(false).empty());
}

TEST_F(LogFollow, RenewedLogIsReadFromItsStart)
{
    LogReader reader(m_file);
    append(m_file, "Tessiro_Error: vecchio\r\n");
    EXPECT_EQ(reader.next(false).size(), 1u);
    // "Ricrea File Log": the old log goes to Cestino, a new one starts.
    fs::create_directories(m_dir / "Cestino");
    fs::rename(m_file, m_dir / "Cestino" / "202612081405FiscalError.log");
    append(m_file, "AZIONE;x;AZIONE: Ricreato\r\n");
    EXPECT_EQ(reader.next(false), (std::vector<LogRecord>{{"AZIONE;x;AZIONE: Ricreato"}}));
}

TEST_F(LogFollow, FollowShowsRecordsAppendedWhileItRuns)
{
    append(m_file, "Tessiro_Error: prima\r\n");
    std::ostringstream out, err;
    int rounds = 0;
    // Each look of the loop asks keepGoing first: the records are appended
    // between looks, as a bridge would.
    const auto keepGoing = [&] {
        ++rounds;
        if (rounds == 2)
            append(m_file, PrinterRecord);
        return rounds <= 3;
    };
    EXPECT_EQ(showLogs(m_dir, CommandLine::Logs::Fiscal, true, out, err, m_clock, keepGoing), 0);
    // A look every 250 ms of the clock, one after each keepGoing that said yes.
    EXPECT_EQ(m_clock.slept, std::chrono::milliseconds(3 * 250));
    EXPECT_EQ(out.str(), "Tessiro_Error: prima\n"
                         "PrinterError: COR000002.txt;08/12/2026 14:05:09;Livello: 2\n"
                         "   EpsonError: 2\n"
                         "  FINE CARTA\n");
}

TEST_F(LogFollow, BothLogsNameTheirRecordsAndIndentTheRest)
{
    std::string old = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    append(m_file, PrinterRecord);
    append(m_dir / "NotFiscalError.log", "Tessiro_Error: ;08/12/2026 14:05:09;Prezzo \x80 1\r\n");
    std::ostringstream out, err;
    const int status = showLogs(m_dir, CommandLine::Logs::Both, false, out, err, m_clock);
    std::setlocale(LC_CTYPE, old.c_str());
    EXPECT_EQ(status, 0);
    // The later lines start under the record, past the log's name.
    const std::string under(std::string("FiscalError.log: ").size() + 2, ' ');
    EXPECT_EQ(out.str(), "FiscalError.log: PrinterError: COR000002.txt;08/12/2026 14:05:09;Livello: 2\n" + under +
                             " EpsonError: 2\n" + under +
                             "FINE CARTA\n"
                             "NotFiscalError.log: Tessiro_Error: ;08/12/2026 14:05:09;Prezzo \xE2\x82\xAC 1\n");
}

TEST_F(LogFollow, MissingLogIsSaidNotShown)
{
    std::ostringstream out, err;
    EXPECT_EQ(showLogs(m_dir, CommandLine::Logs::NonFiscal, false, out, err, m_clock), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_NE(err.str().find("NotFiscalError.log is not there"), std::string::npos) << err.str();
}

// windows-1252 bytes, a terminal's character set, and what it is shown.
struct Decoding {
    const char* name;
    std::string cp1252;
    std::string codeset;
    std::string shown;
};

class TerminalDecoding : public ::testing::TestWithParam<Decoding> {};

TEST_P(TerminalDecoding, LogBytesReachTheTerminalInItsOwnSet)
{
    EXPECT_EQ(cp1252ToTerminal(GetParam().cp1252, GetParam().codeset), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Sets, TerminalDecoding,
                         ::testing::Values(Decoding{"EuroUtf8", "\x80 5", "UTF-8", "\xE2\x82\xAC 5"},
                                           Decoding{"AccentsUtf8", "CAFF\xC8 \xE0", "UTF-8", "CAFF\xC3\x88 \xC3\xA0"},
                                           Decoding{"EuroLatin9", "\x80 5", "ISO-8859-15", "\xA4 5"},
                                           Decoding{"AccentLatin1", "\xE0", "ISO-8859-1", "\xE0"},
                                           Decoding{"EuroAscii", "\x80 5", "ANSI_X3.4-1968", "EUR 5"},
                                           Decoding{"ControlBytesMarked", "a\x1b[2Jb\x07", "UTF-8", "a?[2Jb?"},
                                           Decoding{"TabKept", "a\tb", "UTF-8", "a\tb"}),
                         rownames::byName);

} // namespace
