// SPDX-License-Identifier: MIT
#include "app/Subcommands.h"
#include "config/IniFile.h"
#include "simulator/SimulatedPrinter.h"
#include "support/FakeClock.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

CommandLine command(std::vector<std::string> words)
{
    words.insert(words.begin(), "tessiro");
    return parseCommandLine(words);
}

class Subcommands : public ::testing::Test {
protected:
    int get(const std::vector<std::string>& words)
    {
        m_out.str("");
        return configGet(command(words), m_dir, m_out, m_err);
    }
    int set(const std::vector<std::string>& words) { return configSet(command(words), m_dir, m_err); }
    fs::path config() const { return m_dir / "_Configurazione.ini"; }

    QTemporaryDir m_tmp;
    fs::path m_dir = testfiles::path(m_tmp);
    std::ostringstream m_out, m_err;
};

TEST_F(Subcommands, GetPrintsTheStoredBytesAndANewline)
{
    testfiles::write(config(), "[Varie]\r\nKelmora_DIR = \"C:\\KELMORA\\\x80\" \r\n");
    EXPECT_EQ(get({"config", "get", "kelmora_dir"}), 0);
    EXPECT_EQ(m_out.str(), "C:\\KELMORA\\\x80\n");
}

TEST_F(Subcommands, GetOfAMissingKeyPrintsTheDefault)
{
    EXPECT_EQ(get({"config", "get", "Eps_Delay", "50"}), 0);
    EXPECT_EQ(m_out.str(), "50\n");
    EXPECT_EQ(get({"config", "get", "Eps_COM"}), 0);
    EXPECT_EQ(m_out.str(), "\n");
    EXPECT_FALSE(fs::exists(config()));
}

TEST_F(Subcommands, SetWritesWhatTheBridgeReads)
{
    ASSERT_EQ(set({"config", "set", "Eps_COM", "1"}), 0);
    ASSERT_EQ(set({"config", "set", "Eps_Vuoto", "-1"}), 0);
    EXPECT_EQ(testfiles::read(config()), "[Varie]\r\nEps_COM=1\r\nEps_Vuoto=-1\r\n");
    EXPECT_EQ(LeggiINI("Varie", "Eps_Vuoto", "", config()), "-1");
}

TEST_F(Subcommands, FileAndSectionOptionsReachAnotherFile)
{
    const fs::path exchange = m_dir / "dati" / "_local.ini";
    fs::create_directories(exchange.parent_path());
    ASSERT_EQ(set({"config", "set", "--file", exchange.string(), "--section", "Altro", "killCorr", "-1"}), 0);
    EXPECT_EQ(LeggiINI("Altro", "killCorr", "", exchange), "-1");
    EXPECT_FALSE(fs::exists(config()));
    EXPECT_EQ(get({"config", "get", "--file", exchange.string(), "--section", "Altro", "killCorr"}), 0);
    EXPECT_EQ(m_out.str(), "-1\n");
}

TEST_F(Subcommands, MissingProgramFolderIsRefusedWithAMessage)
{
    m_dir /= "non_esiste";
    EXPECT_NE(set({"config", "set", "Eps_COM", "1"}), 0);
    EXPECT_NE(get({"config", "get", "Eps_COM"}), 0);
    EXPECT_NE(m_err.str().find("does not exist"), std::string::npos);
    EXPECT_FALSE(fs::exists(m_dir));

    testfiles::write(m_dir.parent_path() / "file", "x");
    EXPECT_NE(programDirProblem(m_dir.parent_path() / "file"), "");
}

TEST_F(Subcommands, FailedWriteIsReportedWithNonZeroStatus)
{
    // The file's place is taken by a folder: nothing can be written there.
    fs::create_directory(config());
    EXPECT_NE(set({"config", "set", "Eps_COM", "1"}), 0);
    EXPECT_NE(m_err.str().find("Eps_COM"), std::string::npos);
}

class TestReceiptCommand : public Subcommands {
protected:
    int run()
    {
        SimulatedPrinter printer(m_dir);
        FakeClock clock;
        return testReceipt(m_dir, printer, clock, m_err);
    }
};

TEST_F(TestReceiptCommand, ConfiguredPrinterPrintsAndExitsZero)
{
    testfiles::write(config(), "[Varie]\r\nEps_COM=1\r\nEps_Setting=9600,N,8,1\r\n");
    EXPECT_EQ(run(), 0) << m_err.str();
}

TEST_F(TestReceiptCommand, PortThatIsNoNumberFailsWithNonZeroStatusAndALogRecord)
{
    testfiles::write(config(), "[Varie]\r\nEps_COM=abc\r\n");
    EXPECT_NE(run(), 0);
    EXPECT_FALSE(testfiles::lines(m_dir / "NotFiscalError.log").empty());
}

} // namespace
