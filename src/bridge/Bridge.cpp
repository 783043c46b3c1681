// SPDX-License-Identifier: MIT
#include "bridge/Bridge.h"

#include "commands/Interprete.h"
#include "config/IniFile.h"
#include "config/Keys.h"
#include "config/Text.h"
#include "core/Clock.h"
#include "core/FileAccess.h"
#include "core/OperatorWindow.h"
#include "core/OutsideText.h"
#include "core/SharedState.h"
#include "errors/FileKind.h"
#include "printer/Porta.h"
#include "printer/PrinterControl.h"
#include "printer/TestReceipt.h"

#include <QScopedValueRollback>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <exception>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool equalsIgnoringCase(const std::string& a, const char* b)
{
    const std::string_view v(b);
    return a.size() == v.size() && std::equal(a.begin(), a.end(), v.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The note once the record of `effect` is about to run: a document it opens
// may be open from then on, one it closes may have closed.
RunningRecord noteBefore(RunningRecord note, RecordEffect effect)
{
    if (opensDocument(effect)) {
        note.stage = RunningRecord::Stage::Sale;
        note.fiscal = note.fiscal || effect == RecordEffect::OpensReceipt;
        note.nonFiscal = note.nonFiscal || effect == RecordEffect::OpensNonFiscal;
    } else if (effect == RecordEffect::Closes || effect == RecordEffect::ClosesDay) {
        note.stage = RunningRecord::Stage::Payment;
    }
    return note;
}

} // namespace

std::string reasonOf(int error)
{
    return toCp1252(QString::fromLocal8Bit(accessError(error)));
}

bool epsVuotoIsTrue(const std::string& text)
{
    const std::string t = trimmed(text);
    if (equalsIgnoringCase(t, "False"))
        return false;
    const auto number = toDouble(t);
    return !(number && *number == 0.0);
}

FolderSetup CreaCartelleDefault(const fs::path& dir, const std::function<void(const std::string& name)>& beforeDelete)
{
    FolderSetup result;
    const Folder program = Folder::open(dir);

    // Whatever a link there leads to is not the bridge's to delete.
    const Folder work = program.folder(files::WorkFolder, Links::Refuse, Folder::Make::IfMissing);
    if (work.error() == ELOOP) {
        result.problems.push_back(std::string(MsgCartellaCollegamento) + "IN: nessun file eliminato");
    } else if (!work) {
        result.problems.push_back("Impossibile creare la cartella IN: " + reasonOf(work.error()));
    } else if (const auto entries = work.entries(); !entries) {
        result.problems.push_back("Impossibile leggere la cartella IN: " + reasonOf(errno));
    } else {
        for (const Folder::Entry& entry : *entries) {
            if (entry.type == Folder::Type::Folder)
                continue;
            if (beforeDelete)
                beforeDelete(entry.name);
            if (work.remove(entry.name))
                result.discarded.push_back(entry.name);
            else if (errno != ENOENT)
                result.problems.push_back("Impossibile eliminare dalla cartella IN il file " + entry.name + ": " +
                                          reasonOf(errno));
        }
    }

    // A link the installer made in the place of Ostro is followed.
    const Folder drop = program.folder(files::DropFolder, Links::FollowTrusted, Folder::Make::IfMissing);
    if (drop.error() == ELOOP)
        result.problems.push_back(std::string(MsgCartellaCollegamento) + "Ostro");
    else if (!drop)
        result.problems.push_back("Impossibile creare la cartella Ostro: " + reasonOf(drop.error()));
    return result;
}

Bridge::Bridge(SharedState& state, OperatorWindow& window, Clock& clock, PrinterControl& control)
    : m_state(state), m_window(window), m_clock(clock), m_control(control), m_errors(state, window, clock),
      m_link(control, m_errors, state.settings), m_recovery(state, m_errors, control, window, clock),
      m_panel(state.configFile(), state.settings,
              [&window](const std::string& message) { window.inform(ProgramTitle, message); }),
      m_configCheck(clock), m_dropCheck(clock), m_intake(clock), m_running(state.programDir)
{
    m_panel.onWriteFailed = [this](const std::string& key) { m_errors.configWriteFailed(key, m_state.configFile()); };
}

// The control may outlive the bridge: the link, undone with the bridge, keeps
// its events from reaching a handler that is gone.
Bridge::~Bridge() = default;

int Bridge::start()
{
    const fs::path config = m_state.configFile();

    // Each deleted job is filed under its own name, so the back-office finds
    // it in the log it reads for that kind of file; filed before the file is
    // deleted, so that a stop in between leaves the record (and the file, for
    // the next start) rather than a job gone without a word.
    // The file a killed bridge was running is not discarded like the others:
    // its outcome is told once the printer can be reached (below).
    const std::optional<RunningRecord> interrupted = m_running.read();
    bool interruptedLeft = false;
    const FolderSetup folders = CreaCartelleDefault(m_state.programDir, [&](const std::string& name) {
        if (interrupted && name == interrupted->name) {
            interruptedLeft = true;
            return;
        }
        m_errors.fileUnder(jobNamed(name));
        m_errors.registraAzione("File scartato all'avvio: " + recordName(name));
    });
    m_errors.fileUnderNone();

    m_interval = readInterval();
    m_errors.registraAzione("IntervalTimer: " + std::to_string(m_interval));

    m_state.errorState = false;
    m_state.lastErrorText.clear();

    m_errors.storeKey(keys::Eps_CodError, "");
    m_errors.storeKey(keys::Eps_DescError, "");
    m_errors.storeKey(keys::Kelmora_CORR, "");

    m_panel.load();

    m_window.setPrinterErrorText("");

    m_panel.ApplicaImpostazioni();
    m_panel.SalvaImpostazioni();
    readSettle();

    // The note's room is made now, so that a disk that fills up later
    // cannot stop a file on its account.
    const bool noteReady = prepareNote();
    if (interrupted)
        recoverInterruptedFile(*interrupted, interruptedLeft, noteReady);

    writeIdle(config);

    m_window.hideToTray();

    // A bridge that cannot prepare its folders cannot take jobs: that has to
    // reach the operator, so it is reported after the window went to the tray.
    for (const std::string& problem : folders.problems)
        m_errors.registraErrore(problem);
    // A link refused here is on record already; the ticks do not file it again.
    const Folder program = Folder::open(m_state.programDir);
    m_linkReported = program.linkAt(files::WorkFolder) != LinkAt::None ||
                     program.linkAt(files::DropFolder) == LinkAt::Untrusted;

    return m_interval;
}

int Bridge::readInterval()
{
    const std::string text = LeggiINI(keys::Section, keys::intervalTimer, "500", m_state.configFile());
    const auto value = toDouble(text);
    const double rounded = value && std::isfinite(*value) ? std::nearbyint(*value) : 0.0;
    // A timer at 0 would never tick (or spin): the bridge would look alive
    // and take no job.
    if (rounded < 1) {
        m_errors.registraAzione("IntervalTimer non valido: \"" + cleanOutsideText(text) + "\", uso " +
                                std::to_string(DefaultInterval));
        return DefaultInterval;
    }
    if (rounded > MaxInterval) {
        m_errors.registraAzione("IntervalTimer troppo grande: \"" + cleanOutsideText(text) + "\", uso " +
                                std::to_string(MaxInterval));
        return MaxInterval;
    }
    return static_cast<int>(rounded);
}

void Bridge::tick()
{
    if (m_inTick)
        return;
    const QScopedValueRollback<bool> inTick(m_inTick, true);

    const fs::path config = m_state.configFile();
    // Read with an empty default, so that a missing key is told apart from
    // one that already says "-1".
    if (!m_configCheck.unchanged(config)) {
        m_flagRead = LeggiINI(keys::Section, keys::Eps_Vuoto, std::string(), config);
        m_configCheck.remember();
    }
    const std::string& flag = m_flagRead;
    if (!m_idleUnwritten && !epsVuotoIsTrue(flag))
        return;

    m_errors.fileUnderNone();
    // Records a full disk refused, now that it may take them again.
    m_errors.writePending();
    const bool batchRan = ScansioneCartella();
    // The tick leaves the flag at "-1". A batch has written it already; an
    // idle tick that read "-1" a moment ago has nothing to write, and reading
    // the file a second time to find that out would double what an idle tick
    // costs.
    if (m_idleUnwritten || (!batchRan && flag != "-1"))
        writeIdle(config);
}

void Bridge::setQuietChecks(std::chrono::nanoseconds settle, std::chrono::nanoseconds refresh)
{
    m_configCheck = UnchangedCheck(m_clock, settle, refresh);
    m_dropCheck = UnchangedCheck(m_clock, settle, refresh);
}

void Bridge::writeIdle(const fs::path& configFile)
{
    // Written again at every tick until it is stored, but reported once for
    // the outage, not once a tick.
    m_idleUnwritten = !writeFlag("-1", configFile);
}

bool Bridge::writeFlag(const char* value, const fs::path& configFile)
{
    const bool stored = ScriviINI(keys::Section, keys::Eps_Vuoto, value, configFile);
    if (!stored && !m_flagReported)
        m_errors.configWriteFailed(keys::Eps_Vuoto, configFile);
    m_flagReported = !stored;
    return stored;
}

bool Bridge::ScansioneCartella()
{
    const fs::path drop = m_state.dropDir();
    // The last listing had nothing to take and the folder is as it was then.
    if (m_dropCheck.unchanged(drop))
        return false;
    // A link another user put in the place of Ostro would have the bridge
    // run, and empty, a folder of their choosing; one in the place of IN
    // would take the files somewhere else. Refused, on record once. Looked
    // at only when Ostro changed, off the idle tick: a link put in its place
    // changes what the look above sees, and one in the place of IN matters
    // only when there is a file to take. Both folders are held open from
    // here to the end of the batch: a link put in their place meanwhile
    // changes nothing of what the batch reaches.
    const Folder program = Folder::open(m_state.programDir);
    const Folder dropFolder = program.folder(files::DropFolder, Links::FollowTrusted);
    const Folder work = program.folder(files::WorkFolder);
    const char* linked = dropFolder.error() == ELOOP ? "Ostro" : work.error() == ELOOP ? "IN" : nullptr;
    if (linked) {
        if (!m_linkReported) {
            m_linkReported = true;
            reportScanProblem(MsgCartellaCollegamento + std::string(linked));
        }
        return false;
    }
    m_linkReported = false;

    // The whole listing first, so that no entry is moved while the folder is
    // being read.
    std::vector<std::string> names;
    const auto entries = dropFolder.entries();
    if (!entries) {
        const int error = errno;
        if (!m_dropFolderReported) {
            m_dropFolderReported = true;
            reportScanProblem("Impossibile leggere la cartella Ostro: " + reasonOf(error));
        }
        return false;
    }
    m_dropFolderReported = false;
    for (const Folder::Entry& entry : *entries) {
        // A dot-name is a file still being written under a temporary name.
        // Not followed: a link could make the bridge run any file of the
        // machine, and a FIFO would block it for ever.
        if (entry.name.front() != '.' && entry.type == Folder::Type::File)
            names.push_back(entry.name);
    }
    // The back-office's names begin with a time stamp: byte order is the
    // order in which it meant its jobs to run.
    std::sort(names.begin(), names.end());

    // A reported file that has gone away is reported again if it comes back
    // and sticks again.
    const auto listed = [&names](const std::string& name) {
        return std::binary_search(names.begin(), names.end(), name);
    };
    std::erase_if(m_stuckReported, [&](const std::string& stuck) { return !listed(stuck); });
    std::erase_if(m_heldReported, [&](const std::string& held) { return !listed(held); });
    m_intake.keepOnly(listed);

    if (names.empty()) {
        m_dropCheck.remember();
        return false;
    }
    if (afterListing)
        afterListing();

    const fs::path config = m_state.configFile();
    bool started = false;
    // Down again when the batch ends, however it ends.
    const QScopedValueRollback<bool> running(m_state.batchRunning);
    // Busy from just before the first move. A file that stays stuck in Ostro
    // does not get this far, so it does not rewrite the shared file each tick.
    const auto startBatch = [&] {
        if (!started) {
            started = true;
            writeFlag("0", config);
            m_state.batchRunning = true;
        }
    };

    // One file at a time into IN, each run before the next is moved: a
    // stop in the middle leaves in IN at most the file that was running,
    // which the note accounts for; the others wait in Ostro for the next
    // start.
    int ran = 0;
    for (const std::string& name : names) {
        if (ran == MaxBatch)
            break;
        m_clock.stillWorking();
        UniqueFd fd;
        Job job;
        const Take take = takeFile(dropFolder, work, name, startBatch, fd, job);
        if (take == Take::HoldBack)
            break;
        if (take == Take::Taken) {
            runFile(work, job, std::move(fd));
            ++ran;
        }
    }

    if (started)
        writeIdle(config);
    return started;
}

Bridge::Take Bridge::takeFile(const Folder& drop, const Folder& work, const std::string& name,
                              const std::function<void()>& startBatch, UniqueFd& taken, Job& job)
{
    // Opened before anything else, without following a link and without
    // waiting on a FIFO: what runs is what is checked here, whatever is put
    // in its place meanwhile.
    UniqueFd fd = drop.openFile(name, O_RDONLY);
    if (!fd) {
        const int error = errno;
        if (error == ENOENT)
            return Take::Skipped; // taken back by the back-office meanwhile
        reportStuckFile(name, error == ELOOP                       ? std::string("non \xE8 un file regolare (collegamento)")
                              : error == EISDIR || error == EINVAL ? std::string("non \xE8 un file regolare")
                                                                   : reasonOf(error));
        return Take::Skipped;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        reportStuckFile(name, reasonOf(errno));
        return Take::Skipped;
    }

    const Intake::Verdict verdict = m_intake.check(name, fd.get(), st);
    if (verdict == Intake::Verdict::Writing) {
        // Later names wait behind it, so a closure never overtakes an
        // earlier receipt; but a writer that never lets go must not stop
        // the shop.
        if (m_intake.now() - m_intake.heldSince(name) < Intake::HoldBackLimit)
            return Take::HoldBack;
        if (m_heldReported.insert(name).second)
            logAbout(name, "File ancora in scrittura da oltre un minuto, lasciato in Ostro: i file successivi "
                           "vengono eseguiti");
        return Take::Skipped;
    }
    m_heldReported.erase(name);

    // "Preso", with what the file's records will open, is on the disk before
    // the file leaves Ostro: a stop before the move leaves it there to run,
    // a stop after it finds it in IN and never runs it twice.
    ::lseek(fd.get(), 0, SEEK_SET);
    DescriptorStream content(fd.get());
    const DocumentsOpened opens = documentsOpened(content);
    job = jobNamed(name);
    job.note = RunningRecord{name, opens.receipt, opens.nonFiscal, RunningRecord::Stage::Taken};
    bool noted = true;
    const auto beforeMove = [&] {
        startBatch();
        noted = markTaken(job.note);
        return noted;
    };
    if (!moveToWorkFolder(drop, work, name, st, beforeMove))
        return noted ? Take::Skipped : Take::HoldBack;
    // The move is on the disk before the printer hears of the file.
    if (!work.sync() || !drop.sync())
        ErrorHandler::sayOnStderr("the move of " + name + " into IN may not be on disk yet (" +
                                  std::strerror(errno) + ")");
    if (verdict == Intake::Verdict::Incomplete)
        logAbout(name, MsgFileNonConcluso);
    // Read from the start, whatever the checks did.
    ::lseek(fd.get(), 0, SEEK_SET);
    taken = std::move(fd);
    return Take::Taken;
}

bool Bridge::moveToWorkFolder(const Folder& drop, const Folder& work, const std::string& name,
                              const struct stat& opened, const std::function<bool()>& beforeMove)
{
    if (!work) {
        reportStuckFile(name, work.error() == ENOENT ? std::string("manca la cartella IN")
                                                     : "impossibile aprire la cartella IN (" +
                                                           reasonOf(work.error()) + ")");
        return false;
    }
    // A rename would replace a file of the same name without a word. Only
    // this bridge writes into IN (the folder lock sees to that), so looking
    // first leaves no window for another writer.
    if (work.statAt(name)) {
        reportStuckFile(name, "esiste gi\xE0 un file con lo stesso nome in IN");
        return false;
    }
    if (errno != ENOENT) {
        reportStuckFile(name, "impossibile controllare la cartella IN (" + reasonOf(errno) + ")");
        return false;
    }
    // The name must still lead to the file that was opened and checked.
    const std::optional<struct stat> listed = drop.statAt(name);
    if (!listed)
        return false; // taken back by the back-office meanwhile
    if (listed->st_dev != opened.st_dev || listed->st_ino != opened.st_ino) {
        reportStuckFile(name, "sostituito durante il controllo");
        return false;
    }

    if (!beforeMove())
        return false;
    if (drop.rename(name, work, name)) {
        m_stuckReported.erase(name);
        return true;
    }
    const int error = errno;
    if (!drop.statAt(name) && errno == ENOENT)
        return false; // taken back by the back-office meanwhile
    reportStuckFile(name, reasonOf(error));
    return false;
}

void Bridge::reportStuckFile(const std::string& name, const std::string& reason)
{
    if (m_stuckReported.insert(name).second)
        logAbout(name, "File non spostato in IN, lasciato in Ostro: " + reason);
}

void Bridge::logAbout(const std::string& name, const std::string& message)
{
    m_errors.fileUnder(jobNamed(name));
    m_errors.logOnly(message);
    m_errors.fileUnderNone();
}

void Bridge::reportScanProblem(const std::string& message)
{
    // On record, but the error state stays as it is: raised, it would
    // discard every later valid receipt until someone clears it, for a file
    // that never ran.
    m_errors.logOnly(message);
}

void Bridge::runFile(const Folder& work, Job& job, UniqueFd fd)
{
    m_errors.fileUnder(job);
    m_jobs.taken(job);
    RunObserver observer;
    // Each mark is on the disk before the printer call it announces.
    observer.beforeRecord = [&](const std::string& code) {
        const RunningRecord next = noteBefore(job.note, recordEffect(code));
        if (next != job.note) {
            job.note = next;
            markRunning(job.note);
        }
    };
    observer.afterLastRecord = [&](bool completed) {
        // What the file's run put on record is on the disk before the note
        // says its outcome is on file.
        m_errors.flushRecords();
        job.note.stage = completed ? RunningRecord::Stage::Done : RunningRecord::Stage::Failed;
        markRunning(job.note);
    };

    try {
        DescriptorStream in(fd.get());
        EseguiFileComandi(m_control, m_errors, m_state, m_clock, job, in, observer);
    } catch (const std::exception& e) {
        m_errors.registraErrore("Errore interno durante l'esecuzione del file: " +
                                cleanOutsideText(toCp1252(QString::fromLocal8Bit(e.what()))));
        job.settle(Job::Outcome::Failed);
    } catch (...) {
        m_errors.registraErrore("Errore interno durante l'esecuzione del file");
        job.settle(Job::Outcome::Failed);
    }
    fd.reset();

    // Left in IN it never runs again (IN is not listed) and start-up deletes
    // it, telling from the note what became of it. The deletion needs no
    // flush of its own: the note says the file is done with, and the next
    // move into IN flushes the folder before the note's slot is reused.
    if (!work.remove(job.name) && errno != ENOENT)
        m_errors.logOnly("File non eliminato dalla cartella IN: " + reasonOf(errno));
    m_jobs.done(job);
}

void Bridge::readSettle()
{
    const std::string text = LeggiINI(keys::Section, SettleKey, std::string(), m_state.configFile());
    if (text.empty())
        return;
    const auto value = toDouble(text);
    if (!value || !std::isfinite(*value) || *value < 0 || *value > 600000) {
        m_errors.registraAzione(std::string(SettleKey) + " non valido: \"" + cleanOutsideText(text) + "\", uso " +
                                std::to_string(Intake::DefaultSettle.count()));
        return;
    }
    m_intake.setSettle(std::chrono::milliseconds(static_cast<long long>(std::nearbyint(*value))));
}

void Bridge::cmdNascondi()
{
    m_window.setPrinterErrorText("");
    m_state.errorState = false;
    m_window.errorCleared();
    if (m_panelOnScreen) {
        m_panel.SalvaImpostazioni();
        m_panel.ApplicaImpostazioni();
    } else {
        reload();
    }
    m_window.hideToTray();
    m_errors.storeKey(keys::Kelmora_CORR, "");
}

void Bridge::reload()
{
    m_panel.followFile();
    m_panel.ApplicaImpostazioni();
}

bool Bridge::testReceipt()
{
    return TEST(m_control, m_errors, m_state.configFile());
}

bool Bridge::Esci()
{
    if (m_window.askYesNo(ProgramTitle, "Chiudere il programma ?")) {
        shutdown();
        return true;
    }
    m_window.setPrinterErrorText("");
    m_window.hideToTray();
    return false;
}

void Bridge::shutdown()
{
    m_state.errorState = false;
    m_errors.fileUnderNone();
    m_errors.registraAzione("Chiusura Programma");
}
