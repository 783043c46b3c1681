// SPDX-License-Identifier: MIT
#include "config/IniFile.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    fs::path ini() const { return testfiles::path(m_dir) / "_Configurazione.ini"; }

    QTemporaryDir m_dir;
};

// ---------------------------------------------------------------- reading

struct ReadCase {
    const char* name;
    std::string file;
    std::string section;
    std::string key;
    std::string defaultValue;
    std::string expected;
};

void PrintTo(const ReadCase& c, std::ostream* os)
{
    *os << c.name;
}

class IniReadRules : public IniFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(IniReadRules, ReadsTheValueTheBackOfficeWouldRead)
{
    const ReadCase& c = GetParam();
    testfiles::write(ini(), c.file);
    EXPECT_EQ(LeggiINI(c.section, c.key, c.defaultValue, ini()), c.expected);
}

const std::string Long300(300, 'x');

INSTANTIATE_TEST_SUITE_P(LineEnds, IniReadRules,
                         ::testing::Values(ReadCase{"crlf", "[Varie]\r\nA=1\r\nB=2\r\n", "Varie", "B", "d", "2"},
                                           ReadCase{"lf", "[Varie]\nA=1\nB=2\n", "Varie", "B", "d", "2"},
                                           ReadCase{"cr", "[Varie]\rA=1\rB=2\r", "Varie", "B", "d", "2"},
                                           ReadCase{"mixed", "[Varie]\rA=1\nB=2\r\nC=3", "Varie", "C", "d", "3"},
                                           ReadCase{"no final line end", "[Varie]\r\nB=2", "Varie", "B", "d", "2"},
                                           ReadCase{"blank lines between", "\r\n\r\n[Varie]\r\n\r\n \t\r\nB=2\r\n",
                                                    "Varie", "B", "d", "2"}),
                         rownames::byName);

INSTANTIATE_TEST_SUITE_P(
    Trimming, IniReadRules,
    ::testing::Values(ReadCase{"blanks around key and value", "[Varie]\r\n  B  =  2 x  \r\n", "Varie", "B", "d", "2 x"},
                      ReadCase{"tabs and controls", "[Varie]\r\n\tB\t=\t\x01 2\x1f\t\r\n", "Varie", "B", "d", "2"},
                      ReadCase{"indented header", "  [  Varie  ]  \r\nB=2\r\n", "Varie", "B", "d", "2"},
                      ReadCase{"asked names trimmed", "[Varie]\r\nB=2\r\n", " Varie ", " B ", "d", "2"},
                      ReadCase{"8-bit bytes kept", "[Varie]\r\nB=\x80 \xE0\r\n", "Varie", "B", "d", "\x80 \xE0"}),
    rownames::byName);

INSTANTIATE_TEST_SUITE_P(
    LineSyntax, IniReadRules,
    ::testing::Values(ReadCase{"name runs to last bracket", "[Varie]x]\r\nB=2\r\n", "Varie]x", "B", "d", "2"},
                      ReadCase{"not the first bracket", "[Varie]x]\r\nB=2\r\n", "Varie", "B", "d", "d"},
                      ReadCase{"first equals splits", "[Varie]\r\nB=a=b\r\n", "Varie", "B", "d", "a=b"},
                      ReadCase{"semicolon line is comment", "[Varie]\r\n;B=2\r\n", "Varie", "B", "d", "d"},
                      ReadCase{"indented semicolon is comment", "[Varie]\r\n  ;B=2\r\n", "Varie", "B", "d", "d"},
                      ReadCase{"hash is no comment", "[Varie]\r\n#B=2\r\n", "Varie", "#B", "d", "2"},
                      ReadCase{"no inline comment", "[Varie]\r\nB=2 ;note\r\n", "Varie", "B", "d", "2 ;note"},
                      ReadCase{"line without equals", "[Varie]\r\nB\r\n", "Varie", "B", "d", "d"},
                      ReadCase{"empty value", "[Varie]\r\nEps_COM=\r\n", "Varie", "Eps_COM", "d", ""},
                      ReadCase{"blank value", "[Varie]\r\nEps_COM=   \r\n", "Varie", "Eps_COM", "d", ""},
                      ReadCase{"key before any section", "B=1\r\n[Varie]\r\n", "Varie", "B", "d", "d"},
                      ReadCase{"key of another section", "[Altro]\r\nB=1\r\n[Varie]\r\n", "Varie", "B", "d", "d"},
                      ReadCase{"utf8 bom skipped", "\xEF\xBB\xBF[Varie]\r\nB=2\r\n", "Varie", "B", "d", "2"}),
    rownames::byName);

INSTANTIATE_TEST_SUITE_P(
    Names, IniReadRules,
    ::testing::Values(ReadCase{"section case", "[VARIE]\r\nB=2\r\n", "varie", "B", "d", "2"},
                      ReadCase{"key case", "[Varie]\r\neps_delay=7\r\n", "Varie", "EPS_DELAY", "d", "7"},
                      ReadCase{"case folding is ascii only", "[Varie]\r\n\xC8=7\r\n", "Varie", "\xE8", "d", "d"},
                      ReadCase{"first key wins", "[Varie]\r\nB=1\r\nb=2\r\n", "Varie", "B", "d", "1"},
                      ReadCase{"first section only", "[Varie]\r\nA=1\r\n[varie]\r\nB=2\r\n", "Varie", "B", "d", "d"},
                      ReadCase{"first section value", "[Varie]\r\nB=1\r\n[Varie]\r\nB=2\r\n", "Varie", "B", "d", "1"}),
    rownames::byName);

INSTANTIATE_TEST_SUITE_P(
    Quotes, IniReadRules,
    ::testing::Values(ReadCase{"double pair", "[Varie]\r\nB=\"a b\"\r\n", "Varie", "B", "d", "a b"},
                      ReadCase{"single pair", "[Varie]\r\nB='a b'\r\n", "Varie", "B", "d", "a b"},
                      ReadCase{"blanks inside kept", "[Varie]\r\nB=\"  x  \"\r\n", "Varie", "B", "d", "  x  "},
                      ReadCase{"empty pair", "[Varie]\r\nB=\"\"\r\n", "Varie", "B", "d", ""},
                      ReadCase{"lone quote kept", "[Varie]\r\nB=\"\r\n", "Varie", "B", "d", "\""},
                      ReadCase{"mismatched kept", "[Varie]\r\nB=\"a'\r\n", "Varie", "B", "d", "\"a'"},
                      ReadCase{"one pair only", "[Varie]\r\nB=\"\"a\"\"\r\n", "Varie", "B", "d", "\"a\""},
                      ReadCase{"opening only kept", "[Varie]\r\nB=\"a\r\n", "Varie", "B", "d", "\"a"}),
    rownames::byName);

INSTANTIATE_TEST_SUITE_P(
    Limits, IniReadRules,
    ::testing::Values(ReadCase{"cut at 254", "[Varie]\r\nB=" + Long300 + "\r\n", "Varie", "B", "d",
                               Long300.substr(0, 254)},
                      ReadCase{"254 whole", "[Varie]\r\nB=" + Long300.substr(0, 254) + "\r\n", "Varie", "B", "d",
                               Long300.substr(0, 254)},
                      ReadCase{"nul ends value", "[Varie]\r\nB=ab\0cd\r\n"s, "Varie", "B", "d", "ab"},
                      ReadCase{"nul in another line", "[Varie]\r\nA=\0\r\nB=2\r\n"s, "Varie", "B", "d", "2"},
                      ReadCase{"default less trailing blanks", "[Varie]\r\n", "Varie", "B", "abc  ", "abc"},
                      ReadCase{"default leading blanks kept", "[Varie]\r\n", "Varie", "B", "  abc", "  abc"},
                      ReadCase{"default cut at 254", "", "Varie", "B", Long300, Long300.substr(0, 254)},
                      ReadCase{"empty file", "", "Varie", "B", "d", "d"}),
    rownames::byName);

TEST_F(IniFileTest, MissingFileGivesTheCallersDefaults)
{
    EXPECT_EQ(LeggiINI("Varie", "Eps_Delay", "50", ini()), "50");
    EXPECT_EQ(LeggiINI("Varie", "PAY_L", 0, ini()), "0");
    EXPECT_EQ(LeggiINI("Varie", "Eps_Vuoto", -1, ini()), "-1");
    EXPECT_EQ(LeggiINI("Varie", "DECIMALI", 3, ini()), "3");
    EXPECT_FALSE(fs::exists(ini()));
}

TEST_F(IniFileTest, UnreadablePathGivesTheDefault)
{
    fs::create_directory(ini());
    EXPECT_EQ(LeggiINI("Varie", "Eps_Delay", "50", ini()), "50");
}

struct NulCase {
    const char* name;
    std::string text;
    std::string expected;
};

class TogliNullTest : public ::testing::TestWithParam<NulCase> {};

TEST_P(TogliNullTest, KeepsTheTextUpToItsFirstNul)
{
    EXPECT_EQ(TogliNull(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, TogliNullTest,
                         ::testing::Values(NulCase{"Empty", "", ""}, NulCase{"NoNul", "abc", "abc"},
                                           NulCase{"NulInside", "ab\0c"s, "ab"}, NulCase{"NulFirst", "\0abc"s, ""},
                                           NulCase{"OnlyNuls", std::string(4, '\0'), ""}),
                         rownames::byName);

// ---------------------------------------------------------------- writing

struct WriteCase {
    const char* name;
    std::string before;
    std::string key;
    std::string value;
    std::string after;
};

void PrintTo(const WriteCase& c, std::ostream* os)
{
    *os << c.name;
}

class IniWriteRules : public IniFileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(IniWriteRules, ChangesOnlyWhatTheWriteNeeds)
{
    const WriteCase& c = GetParam();
    testfiles::write(ini(), c.before);
    EXPECT_TRUE(ScriviINI("Varie", c.key, c.value, ini()));
    EXPECT_EQ(testfiles::read(ini()), c.after);
}

// A file as another program leaves it: LF endings, comments, blank lines,
// foreign sections and keys, its own spelling.
const std::string Shared = "; configurazione cassa\n"
                           "[Cassa]\n"
                           "Eps_COM=9\n"
                           "\n"
                           "[varie]\n"
                           "  eps_com = 3   \n"
                           "; porta della stampante\n"
                           "Altro=x\n"
                           "\n"
                           "; sezione del gestionale\n"
                           "[Gestionale]\n"
                           "Utente=mario\n";

// The shared file kept on the back-office's side and linked into the
// program folder by the installer: the write changes the file the link leads
// to exactly as it would change the file itself, in that file's own folder,
// and the link stays a link.
TEST_P(IniWriteRules, ALinkToTheSharedFileStaysALink)
{
    const WriteCase& c = GetParam();
    const fs::path office = testfiles::path(m_dir) / "ufficio";
    fs::create_directory(office);
    testfiles::write(office / "condiviso.ini", c.before);
    fs::create_symlink("ufficio/condiviso.ini", ini());
    EXPECT_TRUE(ScriviINI("Varie", c.key, c.value, ini()));
    EXPECT_TRUE(fs::is_symlink(ini()));
    EXPECT_EQ(fs::read_symlink(ini()), "ufficio/condiviso.ini");
    EXPECT_EQ(testfiles::read(office / "condiviso.ini"), c.after);
    EXPECT_EQ(std::distance(fs::directory_iterator(office), fs::directory_iterator()), 1) << "a temporary file left";
}

INSTANTIATE_TEST_SUITE_P(
    ExistingKey, IniWriteRules,
    ::testing::Values(
        WriteCase{
            "only the key line changes", Shared, "Eps_COM", "4",
            "; configurazione cassa\n[Cassa]\nEps_COM=9\n\n[varie]\neps_com=4\n; porta della stampante\nAltro=x\n\n"
            "; sezione del gestionale\n[Gestionale]\nUtente=mario\n"},
        WriteCase{"keeps the key's spelling", "[Varie]\r\neps_DELAY=5\r\n", "Eps_Delay", "7",
                  "[Varie]\r\neps_DELAY=7\r\n"},
        WriteCase{"keeps a cr line end", "[Varie]\rA=1\rB=2\r", "A", "9", "[Varie]\rA=9\rB=2\r"},
        WriteCase{"keeps a missing final line end", "[Varie]\r\nA=1", "A", "9", "[Varie]\r\nA=9"},
        WriteCase{"first of two keys", "[Varie]\r\nA=1\r\na=2\r\n", "A", "9", "[Varie]\r\nA=9\r\na=2\r\n"},
        WriteCase{"first of two sections", "[Varie]\r\nA=1\r\n[Varie]\r\nA=2\r\n", "A", "9",
                  "[Varie]\r\nA=9\r\n[Varie]\r\nA=2\r\n"},
        WriteCase{"keeps a byte order mark", "\xEF\xBB\xBF[Varie]\r\nA=1\r\n", "A", "9",
                  "\xEF\xBB\xBF[Varie]\r\nA=9\r\n"},
        WriteCase{"keeps nul bytes elsewhere", "[Varie]\r\nZ=\0\r\nA=1\r\n"s, "A", "9", "[Varie]\r\nZ=\0\r\nA=9\r\n"s}),
    rownames::byName);

INSTANTIATE_TEST_SUITE_P(
    NewKey, IniWriteRules,
    ::testing::Values(
        WriteCase{"after the section's last content line", Shared, "Eps_Delay", "50",
                  "; configurazione cassa\n[Cassa]\nEps_COM=9\n\n[varie]\n  eps_com = 3   \n; porta della stampante\n"
                  "Altro=x\nEps_Delay=50\n\n; sezione del gestionale\n[Gestionale]\nUtente=mario\n"},
        WriteCase{"after a lone header", "[Varie]\r\n\r\n[B]\r\n", "A", "1", "[Varie]\r\nA=1\r\n\r\n[B]\r\n"},
        WriteCase{"before trailing comment of last section", "[Varie]\r\nA=1\r\n; fine\r\n", "B", "2",
                  "[Varie]\r\nA=1\r\nB=2\r\n; fine\r\n"},
        WriteCase{"after a line with no line end", "[Varie]\r\nA=1", "B", "2", "[Varie]\r\nA=1\r\nB=2\r\n"},
        WriteCase{"ends like the line before it", "[Varie]\nA=1\n[B]\r\n", "C", "3", "[Varie]\nA=1\nC=3\n[B]\r\n"},
        WriteCase{"header without line end", "x=1\n[Varie]", "A", "1", "x=1\n[Varie]\nA=1\n"}),
    rownames::byName);

INSTANTIATE_TEST_SUITE_P(
    NewSection, IniWriteRules,
    ::testing::Values(
        WriteCase{"at the end, lf file", "[Altro]\nX=1\n", "A", "1", "[Altro]\nX=1\n[Varie]\nA=1\n"},
        WriteCase{"at the end, crlf file", "[Altro]\r\nX=1\r\n", "A", "1", "[Altro]\r\nX=1\r\n[Varie]\r\nA=1\r\n"},
        WriteCase{"after a last line with no line end", "[Altro]\nX=1", "A", "1", "[Altro]\nX=1\n[Varie]\nA=1\n"},
        WriteCase{"ends like the last line", "[Altro]\r\nX=1\n", "A", "1", "[Altro]\r\nX=1\n[Varie]\nA=1\n"},
        WriteCase{"only a byte order mark", "\xEF\xBB\xBF", "A", "1", "\xEF\xBB\xBF[Varie]\r\nA=1\r\n"},
        WriteCase{"file of one unended comment", "; nota", "A", "1", "; nota\r\n[Varie]\r\nA=1\r\n"},
        WriteCase{"empty file", "", "A", "1", "[Varie]\r\nA=1\r\n"}),
    rownames::byName);

INSTANTIATE_TEST_SUITE_P(
    Values, IniWriteRules,
    ::testing::Values(WriteCase{"leading blanks dropped", "[Varie]\r\nA=1\r\n", "A", "  \t 9 ", "[Varie]\r\nA=9 \r\n"},
                      WriteCase{"line breaks become blanks", "[Varie]\r\nA=1\r\n", "A", "x\r\nEps_COM=1\ny",
                                "[Varie]\r\nA=x  Eps_COM=1 y\r\n"},
                      WriteCase{"equals sign kept", "[Varie]\r\nA=1\r\n", "A", "a=b", "[Varie]\r\nA=a=b\r\n"},
                      WriteCase{"cut at a nul", "[Varie]\r\nA=1\r\n", "A", "ab\0cd"s, "[Varie]\r\nA=ab\r\n"},
                      WriteCase{"empty value", "[Varie]\r\nA=1\r\n", "A", "", "[Varie]\r\nA=\r\n"},
                      WriteCase{"8-bit bytes", "[Varie]\r\nA=1\r\n", "A", "\x80\xE8", "[Varie]\r\nA=\x80\xE8\r\n"}),
    rownames::byName);

INSTANTIATE_TEST_SUITE_P(
    RemoveSection, IniWriteRules,
    ::testing::Values(
        WriteCase{
            "keeps the other sections", Shared, "", "",
            "; configurazione cassa\n[Cassa]\nEps_COM=9\n\n; sezione del gestionale\n[Gestionale]\nUtente=mario\n"},
        WriteCase{"every section of the name", "[Varie]\r\nA=1\r\n[B]\r\nX=1\r\n[VARIE]\r\nC=3\r\n", "", "",
                  "[B]\r\nX=1\r\n"},
        WriteCase{"last section with trailing comment", "[B]\r\nX=1\r\n[Varie]\r\nA=1\r\n; fine\r\n", "", "",
                  "[B]\r\nX=1\r\n; fine\r\n"},
        WriteCase{"absent section leaves file", "[B]\r\nX=1\r\n", "", "", "[B]\r\nX=1\r\n"}),
    rownames::byName);

TEST_F(IniFileTest, WriteCreatesAMissingFileWithTheSectionAndKey)
{
    EXPECT_TRUE(ScriviINI("Varie", "Eps_COM", "3", ini()));
    EXPECT_EQ(testfiles::read(ini()), "[Varie]\r\nEps_COM=3\r\n");
}

TEST_F(IniFileTest, RemovingFromAMissingFileCreatesNothing)
{
    EXPECT_TRUE(ScriviINI("Varie", "", "", ini()));
    EXPECT_FALSE(fs::exists(ini()));
}

struct RoundTrip {
    std::string written;
    std::string read;
};

class IniRoundTrip : public IniFileTest, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(IniRoundTrip, ReadsBackWhatWasWritten)
{
    testfiles::write(ini(), "[Varie]\nAltro=1\n");
    ASSERT_TRUE(ScriviINI("Varie", "Kelmora_DIR", GetParam().written, ini()));
    EXPECT_EQ(LeggiINI("Varie", "Kelmora_DIR", "default", ini()), GetParam().read);
    EXPECT_EQ(LeggiINI("Varie", "Altro", "", ini()), "1");
}

INSTANTIATE_TEST_SUITE_P(Values, IniRoundTrip,
                         ::testing::Values(RoundTrip{"C:\\KELMORA\\", "C:\\KELMORA\\"}, RoundTrip{"", ""},
                                           RoundTrip{" 12 ", "12"}, RoundTrip{"a=b;c", "a=b;c"},
                                           RoundTrip{"x\ny", "x y"}, RoundTrip{"\x80 1,50", "\x80 1,50"},
                                           RoundTrip{"-1", "-1"}),
                         rownames::spelledBy(&RoundTrip::written));

// ------------------------------------------------------- unchanged value

class IniNoWrite : public IniFileTest {
protected:
    void SetUp() override
    {
        IniFileTest::SetUp();
        testfiles::write(ini(), "[Varie]\r\n  Eps_Vuoto =  -1  \r\nA=\"x\"\r\n");
        // Far in the past, so that any write would show in the time stamp.
        fs::last_write_time(ini(), fs::file_time_type::clock::now() - std::chrono::hours(24));
        m_before = stamp();
    }
    struct Stamp {
        ino_t inode;
        long long mtime;
        std::string bytes;
        bool operator==(const Stamp&) const = default;
    };
    Stamp stamp() const
    {
        struct stat st {};
        ::stat(ini().c_str(), &st);
        return {st.st_ino, static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec,
                testfiles::read(ini())};
    }
    Stamp m_before{};
};

TEST_F(IniNoWrite, StoredValueLeavesTheFileUntouched)
{
    EXPECT_TRUE(ScriviINI("Varie", "Eps_Vuoto", "-1", ini()));
    EXPECT_TRUE(ScriviINI("VARIE", "eps_vuoto", "  -1  ", ini()));
    EXPECT_TRUE(ScriviINI("Varie", "A", "\"x\"", ini()));
    EXPECT_TRUE(m_before == stamp());
}

TEST_F(IniNoWrite, ChangedValueReplacesTheFile)
{
    EXPECT_TRUE(ScriviINI("Varie", "Eps_Vuoto", "0", ini()));
    EXPECT_FALSE(m_before == stamp());
    EXPECT_EQ(testfiles::read(ini()), "[Varie]\r\nEps_Vuoto=0\r\nA=\"x\"\r\n");
}

TEST_F(IniNoWrite, SameReadingButDifferentTextIsWritten)
{
    // "x" and "\"x\"" read alike, but the file holds the quotes: the value
    // asked for is stored as given.
    EXPECT_TRUE(ScriviINI("Varie", "A", "x", ini()));
    EXPECT_EQ(testfiles::read(ini()), "[Varie]\r\n  Eps_Vuoto =  -1  \r\nA=x\r\n");
}

// ------------------------------------------------------------- failures

TEST_F(IniFileTest, MissingFolderMakesTheWriteFail)
{
    const fs::path file = testfiles::path(m_dir) / "manca" / "_Configurazione.ini";
    EXPECT_FALSE(ScriviINI("Varie", "A", "1", file));
    EXPECT_FALSE(fs::exists(file.parent_path()));
}

TEST_F(IniFileTest, FileInPlaceOfTheFolderMakesTheWriteFail)
{
    testfiles::write(testfiles::path(m_dir) / "file", "x");
    EXPECT_FALSE(ScriviINI("Varie", "A", "1", testfiles::path(m_dir) / "file" / "c.ini"));
}

TEST_F(IniFileTest, FolderInPlaceOfTheFileMakesTheWriteFail)
{
    fs::create_directory(ini());
    EXPECT_FALSE(ScriviINI("Varie", "A", "1", ini()));
    EXPECT_FALSE(ScriviINI("Varie", "", "", ini()));
    EXPECT_TRUE(fs::is_directory(ini()));
}

TEST_F(IniFileTest, ReadOnlyFileIsNotReplaced)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    testfiles::write(ini(), "[Varie]\r\nA=1\r\n");
    fs::permissions(ini(), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_FALSE(ScriviINI("Varie", "A", "2", ini()));
    EXPECT_EQ(testfiles::read(ini()), "[Varie]\r\nA=1\r\n");
}

TEST_F(IniFileTest, ReplacedFileKeepsItsPermissions)
{
    testfiles::write(ini(), "[Varie]\r\nA=1\r\n");
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(ini(), perms);
    ASSERT_TRUE(ScriviINI("Varie", "A", "2", ini()));
    EXPECT_EQ(fs::status(ini()).permissions(), perms);
    fs::permissions(ini(), fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(ScriviINI("Varie", "A", "3", ini()));
    EXPECT_EQ(fs::status(ini()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

struct RefusedLink {
    const char* name;
    // Makes the link `link` in place of the shared file; `target` is a
    // regular file holding Eps_Vuoto=0.
    std::function<void(const fs::path& link, const fs::path& target)> make;
    bool needsRoot = false;
};

void PrintTo(const RefusedLink& c, std::ostream* os)
{
    *os << c.name;
}

class IniRefusedLink : public IniFileTest, public ::testing::WithParamInterface<RefusedLink> {};

// A link the installer did not make (a member of the shared folder's group
// can put one there, pointing at any file of the bridge's user), or one that
// leads to no regular file: nothing is read through it, nothing is written,
// the link stays as it is, and one line says why.
TEST_P(IniRefusedLink, NothingIsReadOrWrittenThroughIt)
{
    if (GetParam().needsRoot && ::geteuid() != 0)
        GTEST_SKIP() << "a link owned by another user can only be made by root";
    const fs::path target = testfiles::path(m_dir) / "privato.ini";
    const std::string secret = "[Varie]\r\nEps_Vuoto=0\r\n";
    testfiles::write(target, secret);
    GetParam().make(ini(), target);
    const fs::path pointsTo = fs::read_symlink(ini());

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(LeggiINI("Varie", "Eps_Vuoto", "assente", ini()), "assente");
    EXPECT_FALSE(ScriviINI("Varie", "Eps_Vuoto", "-1", ini()));
    EXPECT_FALSE(ScriviINI("Varie", "", "", ini()));
    EXPECT_EQ(LeggiINI("Varie", "Eps_Vuoto", "assente", ini()), "assente");
    const std::string said = ::testing::internal::GetCapturedStderr();

    EXPECT_TRUE(fs::is_symlink(ini()));
    EXPECT_EQ(fs::read_symlink(ini()), pointsTo);
    EXPECT_EQ(testfiles::read(target), secret);
    size_t lines = 0;
    for (size_t at = said.find(ini().string()); at != std::string::npos; at = said.find(ini().string(), at + 1))
        ++lines;
    EXPECT_EQ(lines, 1u) << said;
}

INSTANTIATE_TEST_SUITE_P(
    Links, IniRefusedLink,
    ::testing::Values(RefusedLink{"MadeByAnotherUser",
                                  [](const fs::path& link, const fs::path& target) {
                                      fs::create_symlink(target, link);
                                      ASSERT_EQ(::lchown(link.c_str(), 54321, 54321), 0);
                                  },
                                  true},
                      RefusedLink{"ToAFolder",
                                  [](const fs::path& link, const fs::path& target) {
                                      fs::create_directory(target.parent_path() / "cartella");
                                      fs::create_symlink(target.parent_path() / "cartella", link);
                                  }},
                      RefusedLink{"ToAMissingFile",
                                  [](const fs::path& link, const fs::path& target) {
                                      fs::create_symlink(target.parent_path() / "manca.ini", link);
                                  }},
                      RefusedLink{"ToAnotherLink",
                                  [](const fs::path& link, const fs::path& target) {
                                      fs::create_symlink(target, target.parent_path() / "tramite.ini");
                                      fs::create_symlink(target.parent_path() / "tramite.ini", link);
                                  }}),
    rownames::byName);

class IniRefusedNames : public IniFileTest,
                        public ::testing::WithParamInterface<std::pair<std::string, std::string>> {};

TEST_P(IniRefusedNames, NameThatCannotReadBackIsRefused)
{
    testfiles::write(ini(), "[Varie]\r\nA=1\r\n");
    EXPECT_FALSE(ScriviINI(GetParam().first, GetParam().second, "1", ini()));
    EXPECT_EQ(testfiles::read(ini()), "[Varie]\r\nA=1\r\n");
}

INSTANTIATE_TEST_SUITE_P(Names, IniRefusedNames,
                         ::testing::Values(std::pair<std::string, std::string>{"Varie", "A=B"},
                                           std::pair<std::string, std::string>{"Varie", "A\r\nB"},
                                           std::pair<std::string, std::string>{"Varie", ";A"},
                                           std::pair<std::string, std::string>{"Varie", "[A]"},
                                           std::pair<std::string, std::string>{"Va\nrie", "A"}),
                         rownames::by([](const std::pair<std::string, std::string>& names) {
                             return rownames::spelled(names.first + " " + names.second);
                         }));

} // namespace
