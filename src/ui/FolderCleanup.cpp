// SPDX-License-Identifier: MIT
#include "ui/FolderCleanup.h"

#include "core/FileAccess.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool equalIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// The entry of `dir` that stands for the folder `name`, in any case: the
// exact name when it is a folder (or a link), else the first matching one
// in name order. A link is returned as such, for the caller to refuse.
std::optional<Folder::Entry> folderEntry(const Folder& dir, const std::string& name)
{
    const auto standsFor = [](Folder::Type type) { return type == Folder::Type::Folder || type == Folder::Type::Link; };
    if (const auto st = dir.statAt(name); st && (S_ISDIR(st->st_mode) || S_ISLNK(st->st_mode)))
        return Folder::Entry{name, S_ISDIR(st->st_mode) ? Folder::Type::Folder : Folder::Type::Link};
    const auto entries = dir.entries();
    if (!entries)
        return std::nullopt;
    std::optional<Folder::Entry> found;
    for (const Folder::Entry& e : *entries)
        if (standsFor(e.type) && equalIgnoringCase(e.name, name) && (!found || e.name < found->name))
            found = e;
    return found;
}

void emptyFolder(const Folder& folder, CleanupResult& result)
{
    const auto entries = folder.entries();
    if (!entries)
        return;
    for (const Folder::Entry& e : *entries) {
        if (e.type == Folder::Type::Folder)
            continue;
        // A link to a folder counts as a subfolder and stays; any other link
        // is removed as a link. Its target is only looked at, never touched.
        struct stat target {};
        if (e.type == Folder::Type::Link && ::fstatat(folder.fd(), e.name.c_str(), &target, 0) == 0 &&
            S_ISDIR(target.st_mode))
            continue;
        if (folder.remove(e.name))
            ++result.deleted;
        else if (errno != ENOENT)
            ++result.failed;
    }
}

} // namespace

std::optional<fs::path> findFolderIgnoringCase(const fs::path& dir, const std::string& name)
{
    const auto entry = folderEntry(Folder::open(dir), name);
    if (!entry)
        return std::nullopt;
    return dir / entry->name;
}

CleanupResult deleteTemporaryFiles(const fs::path& programDir)
{
    CleanupResult result;
    const Folder program = Folder::open(programDir);
    for (const char* name : TemporaryFolders) {
        const auto entry = folderEntry(program, name);
        if (!entry)
            continue;
        // Whatever a link there leads to is not the bridge's to empty.
        const Folder folder = program.folder(entry->name);
        if (folder.error() == ELOOP)
            result.linked.push_back(entry->name);
        else if (folder)
            emptyFolder(folder, result);
    }
    return result;
}
