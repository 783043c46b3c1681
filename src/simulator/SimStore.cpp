// SPDX-License-Identifier: MIT
#include "simulator/SimStore.h"

#include "core/UniqueFd.h"
#include "simulator/SimCodes.h"
#include "simulator/SimJournal.h"

#include <cerrno>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr int DisplayWidth = 20;

// The simulator's own files: a link or a folder in the place of any of
// them keeps the port closed until it is gone.
constexpr const char* StateFile = "stato.ini";
constexpr const char* JournalFile = "giornale.txt";
constexpr const char* TraceFile = "chiamate.log";
constexpr const char* DisplayFile = "visore.txt";
constexpr const char* PortLockFile = "porta.lock";
constexpr const char* WriteLockFile = "scrittura.lock";
constexpr const char* OwnFiles[] = {StateFile, JournalFile, TraceFile, DisplayFile, PortLockFile, WriteLockFile};

// The simulator's folder in the program folder, made when missing. A link in
// its place is followed only when the installer made it (root or this
// user), so the roll may live on another disk; no other link is.
Folder simulatorFolder(const fs::path& programDir)
{
    std::error_code ec;
    fs::create_directories(programDir, ec);
    return Folder::open(programDir).folder("Simulatore", Links::FollowTrusted, Folder::Make::IfMissing);
}

} // namespace

SimStore::SimStore(const fs::path& programDir, const std::function<void()>& betweenStateAndRoll)
    : m_betweenStateAndRoll(betweenStateAndRoll), m_dir(programDir / "Simulatore"),
      m_sim(simulatorFolder(programDir)), m_portLock(m_sim, PortLockFile), m_writeLock(m_sim, WriteLockFile)
{}

std::optional<std::string> SimStore::unusable() const
{
    if (!m_sim) {
        if (m_sim.error() == ELOOP)
            return std::string(LinkedFolderText) + "Simulatore";
        return "impossibile usare " + m_dir.string() + " (" + accessError(m_sim.error()) + ")";
    }
    // Every one of them, so that one record names them all.
    std::string problems;
    for (const char* name : OwnFiles) {
        if (const int why = m_sim.notAFile(name))
            problems += std::string(problems.empty() ? "" : "; ") + "impossibile usare " + (m_dir / name).string() +
                        " (" + accessError(why) + ")";
    }
    if (problems.empty())
        return std::nullopt;
    return problems;
}

std::string SimStore::portLockProblem() const
{
    return "impossibile usare " + (m_dir / PortLockFile).string() + " (" + m_portLock.failureText() + ")";
}

bool SimStore::append(const char* name, const std::string& bytes)
{
    ScopedFileLock guard(m_writeLock);
    return m_sim.append(name, bytes, false);
}

bool SimStore::replace(const char* name, const std::string& bytes)
{
    ScopedFileLock guard(m_writeLock);
    if (const int why = m_sim.notAFile(name)) {
        errno = why;
        return false;
    }
    return m_sim.replace(name, bytes);
}

void SimStore::trace(const std::string& line)
{
    append(TraceFile, line + "\n");
}

void SimStore::traceNotes()
{
    for (const std::string& note : std::exchange(m_notes, {}))
        trace("# " + note);
}

// Reads the state and brings roll and state into agreement: a roll that
// stops short of what the state accounts for (a process killed between
// the two writes) gets the rest of the last print. A state that does not
// read is kept aside as stato.ini.guasto and the printer starts afresh.
// Holds the write lock, so it never sees another process half-way.
// Touches nothing while the folder is unusable (the port's opening says why).
void SimStore::recover()
{
    if (unusable())
        return;
    {
        ScopedFileLock guard(m_writeLock);
        SimState loaded;
        const SimState::Loaded how = SimState::load(m_sim, StateFile, loaded);
        if (how == SimState::Loaded::Refused)
            return;
        if (how == SimState::Loaded::Corrupt) {
            const char* aside = "stato.ini.guasto";
            const bool keptAside = m_sim.rename(StateFile, m_sim, aside) && m_sim.sync();
            const std::string why = keptAside ? std::string() : accessError(errno);
            m_notes.push_back(std::string("stato.ini illeggibile: conservato come ") + aside +
                              (keptAside ? std::string() : " (non riuscito: " + why + ")") +
                              "; contatori ripartiti da zero");
            std::cerr << "tessiro: simulated printer: " << (m_dir / StateFile).string()
                      << " is corrupt; kept aside as " << (m_dir / aside).string()
                      << ", counters start again from zero\n";
            loaded = {};
        }
        const long long accounted = loaded.journalLength;
        repairJournal(loaded);
        // A roll taken as it is stays so: the next process is not told again.
        if (how == SimState::Loaded::Read && accounted >= 0 && loaded.journalLength != accounted)
            loaded.save(m_sim, StateFile);
        m_state = loaded;
    }
    traceNotes();
}

// Length of the roll, 0 when it is not there yet; -1 when unusable.
long long SimStore::journalSize() const
{
    const auto st = m_sim.statAt(JournalFile);
    if (!st)
        return errno == ENOENT ? 0 : -1;
    return S_ISREG(st->st_mode) ? static_cast<long long>(st->st_size) : -1;
}

// The roll, open for writing at given offsets; made when missing.
UniqueFd SimStore::openJournal() const
{
    return m_sim.openFile(JournalFile, O_WRONLY | O_CREAT);
}

void SimStore::repairJournal(SimState& s)
{
    const long long length = journalSize();
    if (length < 0)
        return;
    if (s.journalLength < 0 || length == s.journalLength) {
        s.journalLength = length;
        return;
    }
    const long long start = s.journalLength - static_cast<long long>(s.lastPrinted.size());
    if (length > s.journalLength || length < start) {
        // Not a print cut short: a roll edited or replaced by hand. The
        // roll is taken as it is from here on.
        m_notes.push_back("giornale.txt di " + std::to_string(length) + " byte, lo stato ne conta " +
                          std::to_string(s.journalLength) + ": si prosegue dal giornale com'e'");
        s.journalLength = length;
        return;
    }
    const UniqueFd fd = openJournal();
    const std::string rest = s.lastPrinted.substr(size_t(length - start));
    if (fd.get() < 0 || !writeAll(fd.get(), rest, off_t(length))) {
        m_notes.push_back("giornale.txt non completato: " + accessError(errno));
        return; // tried again at the next print
    }
    m_notes.push_back("giornale.txt completato con " + std::to_string(rest.size()) +
                      " byte dell'ultima stampa, interrotta");
}

// The call's answer when `name` could not be written; errno says why.
int16_t SimStore::storageFailure(const char* name)
{
    if (errno == ELOOP || errno == EISDIR || errno == EINVAL)
        m_storageProblem = std::string(name) + ": " + accessError(errno);
    return simcode::StorageFailure;
}

void SimStore::markPaperEnd()
{
    if (m_state.paperEnd)
        return;
    SimState next = m_state;
    next.paperEnd = true;
    if (!m_documentStart) {
        ScopedFileLock guard(m_writeLock);
        next.save(m_sim, StateFile);
    }
    m_state = next;
}

int16_t SimStore::display(const std::string& text)
{
    const QString shown = simjournal::printable(text);
    auto row = [&](int k) {
        const QString part = shown.mid(k * DisplayWidth, DisplayWidth);
        return (part + QString(DisplayWidth - part.size(), QLatin1Char(' '))).toStdString() + "\n";
    };
    return replace(DisplayFile, row(0) + row(1)) ? simcode::Ok : storageFailure(DisplayFile);
}

// Room for the text is reserved on the roll first; then the state is saved
// with the roll length it accounts for and the text (write ahead); then the
// text goes on the roll. A refusal before the state is saved changes
// nothing; a kill after it is completed at the next start (recover), so
// nothing counted is missing from the paper and nothing on the paper is
// unknown.
int16_t SimStore::commit(SimState next, const std::string& printed)
{
    if (m_documentStart) {
        next.journalLength = m_state.journalLength;
        next.lastPrinted = m_state.lastPrinted;
        m_state = next;
        m_documentPrinted += printed;
        return simcode::Ok;
    }
    ScopedFileLock guard(m_writeLock);
    if (printed.empty()) {
        next.journalLength = m_state.journalLength;
        next.lastPrinted = m_state.lastPrinted;
        if (next == m_state)
            return simcode::Ok;
        if (!next.save(m_sim, StateFile))
            return storageFailure(StateFile);
        m_state = next;
        return simcode::Ok;
    }
    const UniqueFd fd = openJournal();
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return storageFailure(JournalFile);
    const off_t length = st.st_size;
    if (m_state.journalLength >= 0 && length != m_state.journalLength) {
        // Completes a print a killed process left short.
        repairJournal(m_state);
        if (journalSize() != m_state.journalLength)
            return simcode::StorageFailure;
        return commitAt(next, printed, fd.get(), off_t(m_state.journalLength));
    }
    return commitAt(next, printed, fd.get(), length);
}

int16_t SimStore::commitAt(SimState next, const std::string& printed, int fd, off_t length)
{
    const off_t size = off_t(printed.size());
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, length, size) != 0 && errno != EOPNOTSUPP && errno != ENOSYS)
        return simcode::StorageFailure;
    next.journalLength = length + size;
    next.lastPrinted = printed;
    if (!next.save(m_sim, StateFile)) {
        const int16_t failure = storageFailure(StateFile);
        // Gives back the reserved room; if even that fails, the room
        // stays reserved past the end the state accounts for: harmless.
        [[maybe_unused]] const int released = ::ftruncate(fd, length);
        return failure;
    }
    if (m_betweenStateAndRoll)
        m_betweenStateAndRoll();
    if (!writeAll(fd, printed, length)) {
        // Undone if it can be; otherwise the saved state stands and the
        // next start prints the rest.
        if (::ftruncate(fd, length) == 0 && m_state.save(m_sim, StateFile))
            return simcode::StorageFailure;
        m_state = next;
        return simcode::StorageFailure;
    }
    m_state = next;
    return simcode::Ok;
}

void SimStore::beginDocument()
{
    endDocument();
    m_documentStart = m_state;
}

// The document's one commit: from the state it started from to the state
// its calls left, with all they printed.
int16_t SimStore::endDocument()
{
    if (!m_documentStart)
        return simcode::Ok;
    const SimState done = m_state;
    m_state = *std::exchange(m_documentStart, std::nullopt);
    const int16_t code = commit(done, std::exchange(m_documentPrinted, {}));
    if (code != simcode::Ok)
        trace("# documento non scritto: giornale o stato.ini rifiutano la scrittura");
    return code;
}
