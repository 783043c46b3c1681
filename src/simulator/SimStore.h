// SPDX-License-Identifier: MIT
#pragma once

#include "core/FileAccess.h"
#include "simulator/FileLock.h"
#include "simulator/SimState.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

class UniqueFd;

// The simulated printer's files in `<programDir>/Simulatore/` and the order
// they are written in: the state (stato.ini), the roll (giornale.txt), the
// trace (chiamate.log), the display (visore.txt) and the two locks. A print
// reaches the disk as one commit, the state before the roll, and a roll found
// short at the next start is completed from the state. What a print holds is
// the receipt model's business (simulator/SimReceipt.h).
class SimStore {
public:
    // `betweenStateAndRoll` is the owner's fault hook and outlives the store.
    // Reads nothing yet: recover() does.
    SimStore(const std::filesystem::path& programDir, const std::function<void()>& betweenStateAndRoll);

    // The folder, held open from here on.
    const Folder& folder() const { return m_sim; }
    // Counters and open document as the calls so far left them.
    const SimState& state() const { return m_state; }

    // Why the printer cannot be used as its folder stands (the folder or one
    // of its files is a link, a folder or a special file); nullopt when it can.
    std::optional<std::string> unusable() const;

    // Reads the state and brings roll and state into agreement (see the .cpp).
    void recover();

    // One line on the trace.
    void trace(const std::string& line);
    // Notes taken while the write lock was held, traced once it is not.
    void traceNotes();

    // One commit for roll and counters: `next` with what it printed. Ok, or
    // simcode::StorageFailure with roll and counters as they were (or as the
    // next start completes them).
    int16_t commit(SimState next, const std::string& printed);
    // Paper out: kept in the state at once (in memory while a document is
    // gathered).
    void markPaperEnd();
    // The customer display's two lines.
    int16_t display(const std::string& text);

    // A document taken whole: between beginDocument() and endDocument()
    // commits print into memory; endDocument() puts it all on the roll in
    // one commit.
    void beginDocument();
    int16_t endDocument();
    bool gathering() const { return bool(m_documentStart); }

    // The port: one per folder, like a serial port.
    FileLock::Result lockPort() { return m_portLock.tryLock(); }
    void unlockPort() { m_portLock.unlock(); }
    // "impossibile usare <lock file> (<why>)", after lockPort() failed.
    std::string portLockProblem() const;

    // What stood in the place of a file the last commit could not write, for
    // the error text: "giornale.txt: symbolic link, not followed".
    const std::optional<std::string>& storageProblem() const { return m_storageProblem; }
    void clearStorageProblem() { m_storageProblem.reset(); }

private:
    bool append(const char* name, const std::string& bytes);
    bool replace(const char* name, const std::string& bytes);
    long long journalSize() const;
    UniqueFd openJournal() const;
    void repairJournal(SimState& s);
    int16_t storageFailure(const char* name);
    int16_t commitAt(SimState next, const std::string& printed, int fd, off_t length);

    const std::function<void()>& m_betweenStateAndRoll;
    // For texts only: every file is reached through `m_sim`.
    std::filesystem::path m_dir;
    // Held open from here on: a link put in the folder's place later leads
    // nowhere.
    Folder m_sim;
    // Held while the port is open: the port is one per folder, like a serial port.
    FileLock m_portLock;
    // Held around every write, so two processes never write these files at once.
    FileLock m_writeLock;
    SimState m_state;
    // A document taken whole (beginDocument): the state it started from
    // and what its calls printed so far; `m_state` runs ahead in memory.
    std::optional<SimState> m_documentStart;
    std::string m_documentPrinted;
    std::vector<std::string> m_notes;
    std::optional<std::string> m_storageProblem;
};
