// SPDX-License-Identifier: MIT
#include "core/FileAccess.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <QTemporaryDir>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// What stands at the name "x" of the folder before the operation. `outside`
// is a folder of the user's with "segreto.txt" in it, which must come out of
// every operation as it went in.
struct Planted {
    const char* name;
    std::function<void(const fs::path& place, const fs::path& outside)> make;
    bool needsRoot = false;
};

void PrintTo(const Planted& p, std::ostream* os)
{
    *os << p.name;
}

void chownLink(const fs::path& link)
{
    ASSERT_EQ(::lchown(link.c_str(), 54321, 54321), 0);
}

const Planted plantedRows[] = {
    {"Nothing", [](const fs::path&, const fs::path&) {}},
    {"RegularFile", [](const fs::path& place, const fs::path&) { testfiles::write(place, "vecchio\n"); }},
    {"AFolder", [](const fs::path& place, const fs::path&) { fs::create_directory(place); }},
    {"APipe", [](const fs::path& place, const fs::path&) { ASSERT_EQ(::mkfifo(place.c_str(), 0600), 0); }},
    {"LinkOfTheUserToAFile",
     [](const fs::path& place, const fs::path& outside) { fs::create_symlink(outside / "segreto.txt", place); }},
    {"LinkOfTheUserToAFolder", [](const fs::path& place, const fs::path& outside) { fs::create_symlink(outside, place); }},
    {"LinkToNothing", [](const fs::path& place, const fs::path& outside) { fs::create_symlink(outside / "manca", place); }},
    {"LinkOfAnotherUserToAFile",
     [](const fs::path& place, const fs::path& outside) {
         fs::create_symlink(outside / "segreto.txt", place);
         chownLink(place);
     },
     true},
    {"LinkOfAnotherUserToAFolder",
     [](const fs::path& place, const fs::path& outside) {
         fs::create_symlink(outside, place);
         chownLink(place);
     },
     true},
};

class FileAccessPlanted : public ::testing::TestWithParam<Planted> {
protected:
    void SetUp() override
    {
        if (GetParam().needsRoot && ::geteuid() != 0)
            GTEST_SKIP() << "a link owned by another user can only be made by root";
        ASSERT_TRUE(m_tmp.isValid());
        m_outside = testfiles::path(m_tmp) / "casa";
        testfiles::write(m_outside / "segreto.txt", Secret);
        fs::create_directory(folderPath());
        GetParam().make(folderPath() / "x", m_outside);
        m_folder = Folder::open(folderPath());
        ASSERT_TRUE(m_folder);
    }
    void TearDown() override
    {
        if (m_outside.empty())
            return;
        // Nothing outside the folder was reached.
        EXPECT_EQ(testfiles::read(m_outside / "segreto.txt"), Secret);
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(m_outside))
            ++entries;
        EXPECT_EQ(entries, 1u);
    }
    fs::path folderPath() const { return testfiles::path(m_tmp) / "programma"; }
    std::string name() const { return GetParam().name; }
    bool isLink() const { return name().rfind("Link", 0) == 0; }
    bool trustedLink() const { return isLink() && name().find("Another") == std::string::npos; }

    static constexpr const char* Secret = "non per il log\n";
    QTemporaryDir m_tmp;
    fs::path m_outside;
    Folder m_folder;
};

TEST_P(FileAccessPlanted, FileOperationsTouchOnlyARegularFileOfTheFolder)
{
    const bool usable = name() == "Nothing" || name() == "RegularFile";
    errno = 0;
    const bool appended = m_folder.append("x", "riga\n", true);
    EXPECT_EQ(appended, usable);
    if (!usable) {
        EXPECT_NE(errno, 0);
        EXPECT_FALSE(m_folder.read("x").has_value());
        EXPECT_FALSE(m_folder.openFile("x", O_RDONLY));
        EXPECT_FALSE(m_folder.flush("x"));
    } else {
        EXPECT_EQ(m_folder.read("x"), (name() == "Nothing" ? "" : "vecchio\n") + std::string("riga\n"));
    }
    EXPECT_EQ(bool(m_folder.openFile("x", O_WRONLY | O_CREAT | O_TRUNC)), usable);
    if (isLink()) {
        EXPECT_EQ(fs::symlink_status(folderPath() / "x").type(), fs::file_type::symlink);
    }
}

TEST_P(FileAccessPlanted, ReplaceLeavesANewRegularFileOrTheFolderUntouched)
{
    const bool replaced = m_folder.replace("x", "nuovo\n");
    // A rename takes the place of a file or a link (the link itself, never
    // its target); a folder in the way stays.
    EXPECT_EQ(replaced, name() != "AFolder");
    if (replaced) {
        EXPECT_EQ(testfiles::read(folderPath() / "x"), "nuovo\n");
    }
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(folderPath()))
        ++entries;
    EXPECT_EQ(entries, name() == "Nothing" && !replaced ? 0u : 1u) << "a temporary file was left";
}

// The read-then-replace of a shared file: a snapshot, and the replace of the
// file as the snapshot found it.
TEST_P(FileAccessPlanted, ReplaceAsReadTouchesOnlyARegularFileAsItWasRead)
{
    const bool usable = name() == "Nothing" || name() == "RegularFile";
    FileSnapshot read;
    const Folder::Taken taken = m_folder.snapshot("x", read);
    EXPECT_EQ(taken, usable ? Folder::Taken::Whole : Folder::Taken::Failed);
    // A caller that went on with a snapshot that failed would find that
    // what stands there is not the file it read: nothing is written.
    EXPECT_EQ(m_folder.replaceAsRead("x", "nuovo\n", read), usable ? Folder::Replaced::Done : Folder::Replaced::Raced);
    if (!usable)
        return;
    EXPECT_EQ(read.exists, name() == "RegularFile");
    EXPECT_EQ(read.bytes, name() == "RegularFile" ? "vecchio\n" : "");
    EXPECT_EQ(testfiles::read(folderPath() / "x"), "nuovo\n");
    // The file changed since the read: nothing is written.
    EXPECT_EQ(m_folder.replaceAsRead("x", "di nuovo\n", read), Folder::Replaced::Raced);
    EXPECT_EQ(testfiles::read(folderPath() / "x"), "nuovo\n");
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(folderPath()))
        ++entries;
    EXPECT_EQ(entries, 1u) << "a temporary file was left";
}

TEST_P(FileAccessPlanted, AFolderIsReachedThroughATrustedLinkOnlyWhenAsked)
{
    const Folder refusing = m_folder.folder("x");
    EXPECT_EQ(bool(refusing), name() == "AFolder");
    if (isLink()) {
        EXPECT_EQ(refusing.error(), ELOOP) << accessError(refusing.error());
    }
    const Folder trusting = m_folder.folder("x", Links::FollowTrusted);
    EXPECT_EQ(bool(trusting), name() == "AFolder" || name() == "LinkOfTheUserToAFolder");
    if (trusting && trustedLink()) {
        const auto entries = trusting.entries();
        ASSERT_TRUE(entries);
        ASSERT_EQ(entries->size(), 1u);
        EXPECT_EQ(entries->front().name, "segreto.txt");
    }
    const Folder made = m_folder.folder("x", Links::Refuse, Folder::Make::IfMissing);
    EXPECT_EQ(bool(made), name() == "Nothing" || name() == "AFolder");
}

TEST_P(FileAccessPlanted, RemoveTakesTheNameNeverWhatALinkLeadsTo)
{
    const bool removed = m_folder.remove("x");
    EXPECT_EQ(removed, name() != "Nothing" && name() != "AFolder");
    EXPECT_EQ(m_folder.statAt("x").has_value(), !removed && name() != "Nothing");
}

INSTANTIATE_TEST_SUITE_P(Table, FileAccessPlanted, ::testing::ValuesIn(plantedRows), rownames::byName);

TEST(FileAccess, NamesThatLeaveTheFolderAreRefused)
{
    QTemporaryDir tmp;
    const fs::path dir = testfiles::path(tmp);
    testfiles::write(dir / "a" / "f.txt", "x");
    const Folder a = Folder::open(dir / "a");
    for (const char* bad : {"../a/f.txt", "", ".", "..", "b/f.txt"}) {
        EXPECT_FALSE(a.openFile(bad, O_RDONLY)) << bad;
        EXPECT_FALSE(a.replace(bad, "y")) << bad;
        EXPECT_EQ(a.replaceAsRead(bad, "y", FileSnapshot{}), Folder::Replaced::Failed) << bad;
        EXPECT_FALSE(a.folder(bad)) << bad;
    }
    EXPECT_EQ(testfiles::read(dir / "a" / "f.txt"), "x");
}

} // namespace
