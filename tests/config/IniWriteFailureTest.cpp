// The shared configuration when the system refuses to store a write (a full
// disk, a quota): the write says it failed and the file keeps every byte it
// had. The refusal is made with a file size limit of zero, which the system
// enforces on every write to a regular file as it does a full disk (EFBIG
// instead of ENOSPC), without root and without a disk to fill.
#include "config/IniFile.h"
#include "support/Files.h"
#include "support/WritesRefused.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

const std::string Shared = "; condiviso\r\n[Generale]\r\nNegozio=Bottega\r\n\r\n[Varie]\r\nEps_Vuoto=0\r\n"
                           "Eps_COM=1\r\nChiave=estranea\r\n[Altro]\r\nX=1\r\n";

class IniWriteRefused : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_file = testfiles::path(m_dir) / "_Configurazione.ini";
        testfiles::write(m_file, Shared);
    }
    QTemporaryDir m_dir;
    fs::path m_file;
};

TEST_F(IniWriteRefused, ChangedValueFailsAndTheFileKeepsEveryByte)
{
    bool written = true;
    {
        const WritesRefused refused;
        written = ScriviINI("Varie", "Eps_Vuoto", "-1", m_file);
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(testfiles::read(m_file), Shared);
}

TEST_F(IniWriteRefused, NewKeyFailsAndTheFileKeepsEveryByte)
{
    bool written = true;
    {
        const WritesRefused refused;
        written = ScriviINI("Varie", "Kelmora_CORR", "COR000001.txt", m_file);
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(testfiles::read(m_file), Shared);
}

TEST_F(IniWriteRefused, RemovedSectionFailsAndTheFileKeepsEveryByte)
{
    bool written = true;
    {
        const WritesRefused refused;
        written = ScriviINI("Altro", "", "", m_file);
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(testfiles::read(m_file), Shared);
}

TEST_F(IniWriteRefused, MissingFileStaysMissing)
{
    fs::remove(m_file);
    bool written = true;
    {
        const WritesRefused refused;
        written = ScriviINI("Varie", "Eps_Vuoto", "-1", m_file);
    }
    EXPECT_FALSE(written);
    EXPECT_FALSE(fs::exists(m_file));
}

TEST_F(IniWriteRefused, NextWriteAfterTheRefusalStartsFromTheWholeFile)
{
    {
        const WritesRefused refused;
        ScriviINI("Varie", "Eps_Vuoto", "-1", m_file);
    }
    ASSERT_TRUE(ScriviINI("Varie", "Eps_Vuoto", "-1", m_file));
    EXPECT_EQ(LeggiINI("Varie", "Eps_Vuoto", "?", m_file), "-1");
    EXPECT_EQ(LeggiINI("Generale", "Negozio", "?", m_file), "Bottega");
    EXPECT_EQ(LeggiINI("Varie", "Chiave", "?", m_file), "estranea");
    EXPECT_EQ(LeggiINI("Altro", "X", "?", m_file), "1");
    EXPECT_NE(testfiles::read(m_file).find("; condiviso\r\n"), std::string::npos);
}

} // namespace
