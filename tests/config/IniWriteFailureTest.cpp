// SPDX-License-Identifier: MIT
// The shared configuration when the system refuses to store a write (a full
// disk, a quota): the write says it failed and the file keeps every byte it
// had. The refusal is made with a file size limit of zero, which the system
// enforces on every write to a regular file as it does a full disk (EFBIG
// instead of ENOSPC), without root and without a disk to fill.
#include "config/IniFile.h"
#include "support/Files.h"
#include "support/RowNames.h"
#include "support/WritesRefused.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <csignal>
#include <filesystem>
#include <ostream>
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
    // ScriviINI while the system refuses every write.
    bool writeRefused(const std::string& section, const std::string& key, const std::string& value)
    {
        const WritesRefused refused;
        return ScriviINI(section, key, value, m_file);
    }
    QTemporaryDir m_dir;
    fs::path m_file;
};

struct RefusedWrite {
    const char* name;
    const char* section;
    const char* key;
    const char* value;
};

void PrintTo(const RefusedWrite& write, std::ostream* out)
{
    *out << write.name;
}

class IniWriteRefusedKind : public IniWriteRefused, public ::testing::WithParamInterface<RefusedWrite> {};

TEST_P(IniWriteRefusedKind, FailsAndTheFileKeepsEveryByte)
{
    EXPECT_FALSE(writeRefused(GetParam().section, GetParam().key, GetParam().value));
    EXPECT_EQ(testfiles::read(m_file), Shared);
}

INSTANTIATE_TEST_SUITE_P(Writes, IniWriteRefusedKind,
                         ::testing::Values(RefusedWrite{"ChangedValue", "Varie", "Eps_Vuoto", "-1"},
                                           RefusedWrite{"NewKey", "Varie", "Kelmora_CORR", "COR000001.txt"},
                                           RefusedWrite{"RemovedSection", "Altro", "", ""}),
                         rownames::byName);

TEST_F(IniWriteRefused, MissingFileStaysMissing)
{
    fs::remove(m_file);
    EXPECT_FALSE(writeRefused("Varie", "Eps_Vuoto", "-1"));
    EXPECT_FALSE(fs::exists(m_file));
}

TEST_F(IniWriteRefused, NextWriteAfterTheRefusalStartsFromTheWholeFile)
{
    writeRefused("Varie", "Eps_Vuoto", "-1");
    ASSERT_TRUE(ScriviINI("Varie", "Eps_Vuoto", "-1", m_file));
    EXPECT_EQ(LeggiINI("Varie", "Eps_Vuoto", "?", m_file), "-1");
    EXPECT_EQ(LeggiINI("Generale", "Negozio", "?", m_file), "Bottega");
    EXPECT_EQ(LeggiINI("Varie", "Chiave", "?", m_file), "estranea");
    EXPECT_EQ(LeggiINI("Altro", "X", "?", m_file), "1");
    EXPECT_NE(testfiles::read(m_file).find("; condiviso\r\n"), std::string::npos);
}

} // namespace
