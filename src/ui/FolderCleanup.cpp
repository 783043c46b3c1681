// SPDX-License-Identifier: MIT
#include "ui/FolderCleanup.h"

#include <algorithm>
#include <cctype>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool equalIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

void emptyFolder(const fs::path& folder, CleanupResult& result)
{
    std::error_code ec;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code statusError;
        const fs::file_status own = it->symlink_status(statusError);
        if (statusError)
            continue;
        // A link to a folder counts as a subfolder and stays.
        if (fs::is_directory(own) || (fs::is_symlink(own) && fs::is_directory(it->path(), statusError)))
            continue;
        files.push_back(it->path());
    }
    for (const fs::path& file : files) {
        std::error_code removeError;
        if (fs::remove(file, removeError))
            ++result.deleted;
        else if (removeError)
            ++result.failed;
    }
}

} // namespace

std::optional<fs::path> findFolderIgnoringCase(const fs::path& dir, const std::string& name)
{
    std::error_code ec;
    if (fs::is_directory(dir / name, ec))
        return dir / name;
    std::vector<fs::path> matches;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code statusError;
        if (equalIgnoringCase(it->path().filename().string(), name) && fs::is_directory(it->path(), statusError))
            matches.push_back(it->path());
    }
    if (matches.empty())
        return std::nullopt;
    return *std::min_element(matches.begin(), matches.end());
}

CleanupResult deleteTemporaryFiles(const fs::path& programDir)
{
    CleanupResult result;
    for (const char* name : TemporaryFolders) {
        if (const std::optional<fs::path> folder = findFolderIgnoringCase(programDir, name))
            emptyFolder(*folder, result);
    }
    return result;
}
