// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// Faults injected through Simulatore/guasti.ini, section "Guasti":
//   Occupato=N    the next N reads of Busy answer true
//   FineCarta=1   paper end from now on, until PaperEndRecovery
//   NAME=CODE     every call of operation NAME (one that answers with a
//                 code, e.g. SellDept=7) fails with CODE
//   OpenPort=TEXT OpenPort raises a control failure with TEXT
//   Evento=0      failures raise no error event (default 1)
// refresh() looks at the file on each call and re-reads it when it changed,
// so faults can be injected while the bridge runs.
class SimFaults {
public:
    explicit SimFaults(std::filesystem::path file);

    void refresh();

    // Consumes one busy read; true while any are left.
    bool takeBusyRead();
    // True once after a read of the file that asks for paper end.
    bool takePaperEnd();
    // The injected code of `operation`, 0 when none.
    int16_t codeFor(std::string_view operation) const;
    // The description OpenPort must fail with, if any (windows-1252 bytes).
    const std::optional<std::string>& openPortFailure() const { return m_openPortFailure; }
    bool eventsEnabled() const { return m_events; }

private:
    struct Signature {
        bool exists = false;
        long long size = 0;
        long long inode = 0;
        timespec mtime{};
        timespec ctime{};
        bool operator==(const Signature& o) const;
    };

    void apply();

    std::filesystem::path m_file;
    Signature m_signature;
    std::string m_bytes;
    // The last read came so soon after the file's modification that a later
    // write could carry the same time stamp and size; such a read is repeated.
    bool m_racy = false;

    long long m_busyReads = 0;
    bool m_paperEnd = false;
    bool m_events = true;
    std::optional<std::string> m_openPortFailure;
    std::map<std::string, int16_t, std::less<>> m_codes;
};
