// SPDX-License-Identifier: MIT
#pragma once

#include "core/Job.h"
#include "core/UniqueFd.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

// The bridge's own crash-safe note of the command file it is running, kept
// in the program folder (never in the shared configuration, which the
// back-office rewrites). The note is one file of two slots, 4 KiB apart,
// allocated and flushed once by prepare(); each mark goes in place into the
// older slot, with a sequence number and a checksum, and reaches the disk
// (fdatasync) before mark() returns. A power cut in the middle of a mark
// leaves that slot damaged and the other one whole, so the note read back
// is always the last whole mark.
class RunningFile {
public:
    static constexpr char FileName[] = ".tessiro.running";
    static constexpr std::size_t SlotSize = 4096;

    explicit RunningFile(std::filesystem::path programDir);

    // Makes the note's room on the disk (both slots, flushed, the folder
    // too) and keeps the note open. Once it is done a full disk cannot stop
    // a mark. False, with the reason in why(), when it could not be done.
    bool prepare();
    bool ready() const { return static_cast<bool>(m_fd); }
    // One mark: the record goes into the older slot and reaches the disk.
    // False, with the reason in why(), when it could not be stored.
    bool mark(const RunningRecord& record);
    // The last mark on the disk; nullopt when there is none or it says that
    // nothing runs. A note of which no slot can be read whole is reported
    // as a record with an empty name.
    std::optional<RunningRecord> read() const;
    // Marks that nothing runs (once the file the note names is dealt with).
    bool clear();
    const std::string& why() const { return m_why; }
    // prepare() failed because a link, a folder or a special file stands
    // where the note belongs: that does not mend itself.
    bool misplaced() const { return m_misplaced; }

    // The text of a mark, and back (nullopt for a damaged one).
    static std::string encode(const RunningRecord& record, std::uint64_t sequence);
    static std::optional<std::pair<RunningRecord, std::uint64_t>> decode(const std::string& slot);

private:
    std::filesystem::path m_dir;
    UniqueFd m_fd;
    std::uint64_t m_sequence = 0;
    std::string m_why;
    bool m_misplaced = false;
};
