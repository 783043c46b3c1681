// SPDX-License-Identifier: MIT
#pragma once

#include "core/FileAccess.h"

#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The numbers the LAN printer gave for a fiscal receipt it printed.
struct ReceiptNumbers {
    long receipt = -1; // fiscalReceiptNumber: counts from 1 again after each closure
    long z = -1;       // zRepNumber: the closure the receipt belongs to
    QString amount;    // fiscalReceiptAmount as the printer wrote it ("3,50")
    QString date;      // fiscalReceiptDate
    QString time;      // fiscalReceiptTime

    bool known() const { return receipt >= 0 && z >= 0; }
    // "scontrino n. 27, chiusura n. 118, importo 3,50, 5/3/2025 10:42"
    QString describe() const;
};

// A fiscal receipt sent whole whose fate no reply told.
struct Doubt {
    std::string file;                     // the command file it came from (bare name, 8-bit)
    std::string corr;                     // what Kelmora_CORR held when the doubt arose
    std::optional<ReceiptNumbers> before; // the numbers confirmed before it, if any were kept
    bool interrupted = false;             // a reset or a closure went to the printer since
};

// What became of a doubt: the action text and whether the file may be sent
// again.
struct Verdict {
    Doubt doubt;
    std::string text; // 8-bit, after "Esito del documento in dubbio: "
    bool resendable = false;
};

// What the LAN control keeps of the printer's own numbers, in a file of the
// program folder beside Stampante.ini (never in _Configurazione.ini, which
// the back-office owns): the last receipt the printer confirmed, the
// receipts standing in doubt, oldest first, and the last word on a doubt.
// The file is replaced whole (written aside, flushed, renamed), so a power
// cut leaves the old one or the new one. A file that cannot be read counts
// as no numbers kept: every doubt then ends "non verificabile".
//
// Counting receipts tells a doubt only if the bridge is the printer's only
// client: a receipt printed by another program moves the numbers as the
// doubtful one would have. The manual says the printer must serve this
// bridge alone.
class LanLedger {
public:
    static constexpr const char* FileName = "StampanteNumeri.ini";
    static constexpr const char* VerdictPrefix = "Esito del documento in dubbio: ";

    explicit LanLedger(const std::filesystem::path& programDir);

    const std::optional<ReceiptNumbers>& last() const { return m_last; }
    const std::vector<Doubt>& doubts() const { return m_doubts; }
    // The last verdict's record text (action text), empty when none yet.
    const std::string& lastVerdict() const { return m_lastVerdict; }

    // A fiscal receipt the printer confirmed: its numbers are the last ones
    // kept, and the doubts standing are settled by them (oldest first).
    std::vector<Verdict> confirmed(const ReceiptNumbers& reply);
    // A fiscal receipt left in doubt, sent from `file` while Kelmora_CORR
    // held `corr`.
    void addDoubt(const std::string& file, const std::string& corr);
    // A reset or a closure reached the printer: no standing doubt can be
    // settled by counting receipts any more.
    void interrupt();
    // The newest doubt's receipt was found open in the printer and reset:
    // it was not printed; the older ones can no longer be told.
    std::vector<Verdict> strandedReset();

    // False when the file could not be written (the numbers then live on
    // in this process only).
    bool save();
    const std::string& why() const { return m_why; }
    // The errno of what stands in the file's place (a link, a folder, a
    // special file) when it was not read for that; 0 otherwise. Such a
    // file is never read, nor written through: a save replaces a link.
    int refused() const { return m_refused; }

private:
    std::vector<Verdict> settle(std::vector<Verdict> verdicts);

    Folder m_folder;
    int m_refused = 0;
    std::optional<ReceiptNumbers> m_last;
    // A reset or a closure came after the last numbers: a doubt can no
    // longer be counted from them.
    bool m_lastStale = false;
    std::vector<Doubt> m_doubts;
    std::string m_lastVerdict;
    std::string m_why;
};

// Cents of an amount as the printer writes it ("3,50", "1.234,50", "3.50");
// nullopt when it is no amount.
std::optional<int64_t> printerAmountCents(const QString& text);
