// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Clock;
class Folder;

// Faults injected through Simulatore/guasti.ini, section "Guasti":
//   Occupato=N    the next N reads of Busy answer true
//   FineCarta=1   paper end from now on, until PaperEndRecovery
//   NAME=CODE     every call of operation NAME (one that answers with a
//                 code, e.g. SellDept=7) fails with CODE
//   OpenPort=TEXT OpenPort raises a control failure with TEXT
//   Evento=0      failures raise no error event (default 1)
//   PerdiRisposta=N  served over the LAN (serve-printer): the next N
//                 documents are printed and their replies lost, the
//                 connection dropped; the simulator in-process has no reply
//                 to lose and never asks
// refresh() looks at the file on each call and re-reads it when it changed,
// so faults can be injected while the bridge runs. A key it does not know or
// a value it cannot use is ignored and reported once per content of the
// file (takeNotices); so is a link or a folder in the file's place, which is
// never read (no faults then). A paper end that PaperEndRecovery cleared is cleared in
// the file too (FineCarta=0), so a new process does not find it again.
class SimFaults {
public:
    // `folder` and `clock` outlive the faults.
    SimFaults(const Folder& folder, std::string name, Clock& clock);

    void refresh();

    // Consumes one busy read; true while any are left.
    bool takeBusyRead();
    // Consumes one lost reply; true while any are left.
    bool takeLostReply();
    // True once after a read of the file that asks for paper end.
    bool takePaperEnd();
    // The injected code of `operation`, 0 when none.
    int16_t codeFor(std::string_view operation) const;
    // The description OpenPort must fail with, if any (windows-1252 bytes).
    const std::optional<std::string>& openPortFailure() const { return m_openPortFailure; }
    bool eventsEnabled() const { return m_events; }
    // What the last read of the file found wrong, once; then empty.
    std::vector<std::string> takeNotices();
    // Writes FineCarta=0 into the file when it asks for paper end, without
    // restarting the other faults' counts. False when it could not.
    bool clearPaperEnd();

private:
    struct Signature {
        bool exists = false;
        long long size = 0;
        long long inode = 0;
        int refused = 0; // errno of what stands there instead of a file
        timespec mtime{};
        timespec ctime{};
        bool operator==(const Signature& o) const;
    };

    void apply();
    void checkKeys();
    Signature stamp() const;
    // The file as a path through the folder's descriptor, for the INI store.
    std::filesystem::path heldPath() const;

    const Folder& m_folder;
    std::string m_name;
    Clock& m_clock;
    Signature m_signature;
    std::string m_bytes;
    // The last read came so soon after the file's modification that a later
    // write could carry the same time stamp and size; such a read is repeated.
    bool m_racy = false;

    long long m_busyReads = 0;
    long long m_lostReplies = 0;
    bool m_paperEnd = false;
    bool m_events = true;
    std::optional<std::string> m_openPortFailure;
    std::map<std::string, int16_t, std::less<>> m_codes;
    std::vector<std::string> m_notices;
};
