// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Where the command file being run stands, as the printer may have seen it.
struct RunningRecord {
    enum class Stage {
        Started, // before the first printer call: a receipt may be open
        Payment, // a payment record is about to run: the receipt may have closed
        Done,    // every record that was going to run has run
        Failed,  // a record failed and was reported; nothing more runs
    };

    std::string name;
    bool fiscal = false;    // a fiscal receipt may be open (the name says so, or a sale ran)
    bool nonFiscal = false; // an N1 record ran: a non-fiscal document may be open
    Stage stage = Stage::Started;

    bool operator==(const RunningRecord&) const = default;
};

// The bridge's own crash-safe note of the command file it is running, kept
// in the program folder (never in the shared configuration, which the
// back-office rewrites). Each write reaches the disk before it returns
// (written aside, flushed, renamed over, folder flushed), so a power cut
// leaves either the old note or the new one, never half of one.
class RunningFile {
public:
    static constexpr char FileName[] = ".tessiro.running";

    explicit RunningFile(std::filesystem::path programDir);

    // False, with the reason in why(), when the note could not be stored.
    bool write(const RunningRecord& record);
    // The note left by the last run; nullopt when there is none. A note that
    // cannot be read whole is reported as a record with an empty name.
    std::optional<RunningRecord> read() const;
    // Removes the note (once the file it names is gone for good).
    bool clear();
    const std::string& why() const { return m_why; }

    // The text form of a note, and back (nullopt for a damaged text).
    static std::string encode(const RunningRecord& record);
    static std::optional<RunningRecord> decode(const std::string& text);

private:
    std::filesystem::path m_dir;
    std::string m_why;
};

// Flushes a folder's entries (a rename or a deletion in it) to the disk.
bool syncFolder(const std::filesystem::path& folder);
