// SPDX-License-Identifier: MIT
#pragma once

#include "bridge/Intake.h"
#include "bridge/Recovery.h"
#include "bridge/RunningFile.h"
#include "bridge/UnchangedCheck.h"
#include "config/SettingsPanel.h"
#include "core/FileAccess.h"
#include "core/Job.h"
#include "errors/ErrorHandler.h"
#include "printer/ErrorLink.h"

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

struct SharedState;
class Folder;
class OperatorWindow;
class Clock;
class PrinterControl;

// The bridge without a screen: start-up, the polling tick, and the window's
// own commands that are not printer recovery (hide, exit).
class Bridge {
public:
    static constexpr int MaxBatch = 101;
    static constexpr int DefaultInterval = 500;
    // The longest interval the polling timer ever accepted; a longer
    // intervalTimer is cut to it (and the cut is filed as an action).
    static constexpr int MaxInterval = 65535;

    Bridge(SharedState& state, OperatorWindow& window, Clock& clock, PrinterControl& control);
    ~Bridge();
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // The load handler. Returns the polling interval in milliseconds.
    int start();
    // One tick of Timer1. A tick that comes in while another runs (a message
    // box lets events through) returns at once.
    void tick();
    // Moves the finished regular files of the drop folder into the work
    // folder (at most MaxBatch of them, in byte order of their names, names
    // starting with "." skipped) and runs each one from the descriptor it
    // was checked through. A file still being written holds back the files
    // whose names sort after it, for up to Intake::HoldBackLimit. The rest
    // wait in the drop folder. True when a batch ran (and set the flag back
    // to idle at its end).
    bool ScansioneCartella();

    // NASCONDI: clears the error, saves and applies the settings, hides.
    // Without a panel on screen there are no fields to save: the stored
    // settings are applied instead (ricarica), so a value written with
    // `tessiro config set` is never put back to a stale one.
    void cmdNascondi();
    // `tessiro ctl ricarica` and SIGHUP: the panel takes the stored values
    // (no change handler runs) and the port, pause, payment and data-folder
    // settings are applied to the running bridge, as NASCONDI applies them.
    // The error state is left as it is.
    void reload();
    // The window shows the panel's fields to an operator (set by the window
    // when it attaches); the headless bridge has none.
    void setPanelOnScreen(bool onScreen) { m_panelOnScreen = onScreen; }
    // TEST: prints the sample receipt with the stored port settings; true
    // when every step succeeded.
    bool testReceipt();
    // Esci: asks; true when the program is to end (action filed).
    bool Esci();
    // The confirmed end of Esci without the question, for an end asked by
    // the system (SIGTERM, SIGINT): clears the error, files the action.
    void shutdown();

    // Each command file taken into the work folder, as it is about to run,
    // and once it is done with (deleted or not, its outcome settled): for
    // the operations log, `ctl stato` and whoever else subscribes.
    JobFeed& jobs() { return m_jobs; }
    // Runs between the listing of the drop folder and the opening of its
    // files; tests swap entries there. May be empty.
    std::function<void()> afterListing;

    // The configuration key (section Varie, milliseconds) of the settle
    // period for files whose writer the kernel cannot show.
    static constexpr char SettleKey[] = "settleTimer";
    Intake& intake() { return m_intake; }

    SettingsPanel& panel() { return m_panel; }
    ErrorHandler& errors() { return m_errors; }
    SharedState& state() { return m_state; }
    PrinterControl& control() { return m_control; }
    OperatorWindow& window() { return m_window; }
    Clock& clock() { return m_clock; }
    Recovery& recovery() { return m_recovery; }
    int interval() const { return m_interval; }

    // How long the configuration and the drop folder must have been left
    // alone before an idle tick trusts their stamps instead of reading them,
    // and how often they are read in full all the same (UnchangedCheck).
    void setQuietChecks(std::chrono::nanoseconds settle, std::chrono::nanoseconds refresh);

private:
    int readInterval();
    void readSettle();
    enum class Take { Taken, Skipped, HoldBack };
    // Ostro and IN as the batch holds them open.
    // Makes the file's job: its note "preso" stored, the file in IN, open
    // in `taken`.
    Take takeFile(const Folder& drop, const Folder& work, const std::string& name,
                  const std::function<void()>& startBatch, UniqueFd& taken, Job& job);
    bool moveToWorkFolder(const Folder& drop, const Folder& work, const std::string& name, const struct stat& opened,
                          const std::function<bool()>& beforeMove);
    void runFile(const Folder& work, Job& job, UniqueFd fd);
    void reportStuckFile(const std::string& name, const std::string& reason);
    // A problem record about the file `name` that is not the job running
    // (yet, or any more); no job is current after it.
    void logAbout(const std::string& name, const std::string& message);
    void reportScanProblem(const std::string& message);
    // The crash-safe note of the running file, and what start-up does with
    // the note a killed bridge left.
    void markRunning(const RunningRecord& record);
    // No note, no start: false (said once on record for the outage) when
    // the file's "preso" could not be stored.
    bool markTaken(const RunningRecord& note);
    bool prepareNote();
    void recoverInterruptedFile(const RunningRecord& record, bool leftInWorkFolder, bool noteReady);

    SharedState& m_state;
    OperatorWindow& m_window;
    Clock& m_clock;
    PrinterControl& m_control;
    ErrorHandler m_errors;
    ErrorLink m_link;
    Recovery m_recovery;
    SettingsPanel m_panel;
    JobFeed m_jobs;
    int m_interval = DefaultInterval;
    bool m_inTick = false;
    bool m_panelOnScreen = false;
    // The drop folder could not be listed and that was reported; cleared
    // when a listing succeeds, so one outage gives one report, not one a tick.
    bool m_dropFolderReported = false;
    bool m_linkReported = false; // a link in the place of Ostro or IN, on record
    // Files that could not be moved into the work folder and were reported;
    // they are retried every tick but reported once while they stay.
    std::set<std::string> m_stuckReported;
    // The "-1" that ends a batch did not reach the configuration (a full
    // disk): the "0" left there is this bridge's own and must not stop the
    // polling; the next ticks write "-1" again until it is stored.
    bool m_idleUnwritten = false;
    void writeIdle(const std::filesystem::path& configFile);
    // Writes Eps_Vuoto ("0" as a batch starts, "-1" when it ends). A write
    // that fails is filed once for the outage, whichever value it was: the
    // "0" and the "-1" of one batch on a file that cannot be written are
    // one failure, not two. True when stored.
    bool writeFlag(const char* value, const std::filesystem::path& configFile);
    bool m_flagReported = false;
    // An idle tick reads Eps_Vuoto and lists the drop folder only when the
    // file or the folder may have changed since it last did.
    UnchangedCheck m_configCheck;
    std::string m_flagRead;
    UnchangedCheck m_dropCheck;
    Intake m_intake;
    RunningFile m_running;
    // Files held back longer than the limit and recorded so.
    std::set<std::string> m_heldReported;
    // A note that could not be stored was recorded; cleared by the next
    // mark that is stored.
    bool m_noteReported = false;
};

// On record for a file that still looks unfinished by its content but was
// left unchanged for Intake::HoldBackLimit: it runs as it is.
inline constexpr char MsgFileNonConcluso[] =
    "File non concluso, invariato da oltre un minuto: eseguito cos\xEC com'\xE8";
// The record of a file left in Ostro because its note was not stored; the
// system's reason and ")" follow.
// The record of a folder of the bridge that a symbolic link stands in for
// and that is therefore not used: any link for IN, whose files the bridge
// deletes; a link made by another user for Ostro. The folder's name follows.
inline constexpr const char* MsgCartellaCollegamento = LinkedFolderText;
inline constexpr char MsgNotaNonRegistrata[] =
    "File non avviato, lasciato in Ostro: nota del file in esecuzione non registrata (";
// The record of a note that cannot be made because something else stands
// in its place; the reason (naming the note) and ")" follow.
inline constexpr char MsgNotaNonPreparata[] =
    "Nota del file in esecuzione non preparata: nessun file viene avviato finch\xE9 non lo \xE8 (";

// What CreaCartelleDefault did: the files it deleted from IN, and what it
// could not do (Italian texts for the error log).
struct FolderSetup {
    std::vector<std::string> discarded;
    std::vector<std::string> problems;
};

// CreaCartelleDefault: creates IN and Ostro under `dir` and deletes the files
// (not sub-folders) left in IN, so no file of an interrupted run is executed.
// `beforeDelete`, when given, runs with each file's name just before the file
// is deleted, so its record is on file even if the process dies in between.
FolderSetup CreaCartelleDefault(const std::filesystem::path& dir,
                                const std::function<void(const std::string& name)>& beforeDelete = {});

// The text for a file operation that failed with `error`, in the logs' code
// page: a refused link, a folder where a file belongs, or the system's text.
std::string reasonOf(int error);

// How the polling cycle reads Eps_Vuoto: false for the number 0 or the word
// False (any case, blanks around); anything else, unreadable text included,
// is true.
bool epsVuotoIsTrue(const std::string& text);
