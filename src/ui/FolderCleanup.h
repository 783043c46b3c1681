// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The work folders that "File Temporanei" empties, in the order it empties
// them: drop folder, work folder, renewed logs, logs.
inline constexpr std::array<const char*, 4> TemporaryFolders = {"Ostro", "IN", "Cestino", "Log"};

// The folder of `dir` called `name` regardless of case: the exact name when
// it is a folder, else the first matching folder in name order. Folders made
// by a Windows back-office may come in any case. A symbolic link counts as
// one (deleteTemporaryFiles then refuses it).
std::optional<std::filesystem::path> findFolderIgnoringCase(const std::filesystem::path& dir, const std::string& name);

struct CleanupResult {
    int deleted = 0;
    int failed = 0; // files that could not be deleted (missing folders do not count)
    // Folders a symbolic link stands in for: nothing behind them is deleted.
    std::vector<std::string> linked;
};

// Deletes the files directly in each temporary folder under `programDir`.
// Subfolders and their contents stay; a symbolic link in a folder is removed
// as a link, never followed into its target. A folder that is itself a link
// (anyone in the folder's group may put one there) is not emptied, whoever
// made it: it is listed in `linked`. Failures are counted and skipped.
CleanupResult deleteTemporaryFiles(const std::filesystem::path& programDir);
