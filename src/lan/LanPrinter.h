// SPDX-License-Identifier: MIT
#pragma once

#include "core/FileAccess.h"
#include "lan/HttpClient.h"
#include "lan/LanDocument.h"
#include "lan/LanLedger.h"
#include "printer/PrinterControl.h"

#include <filesystem>
#include <map>
#include <optional>

class Clock;

// The fiscal printer control for a printer on the shop's LAN that takes
// whole documents as XML over HTTP. The calls of a fiscal receipt are
// collected (DocumentCollector) and the receipt goes out with the payment
// that covers its total; a non-fiscal document goes at its close; display,
// drawer, closures and resets go at once. Each exchange is one line each way
// in the trace file StampanteLAN.log of the program folder.
//
// Sending waits on the socket without running the event loop (HttpClient),
// so no timer tick or control command runs in the middle of a send. A
// document is never sent twice on this control's own account: once it was
// sent whole and no usable reply came, the printer may or may not have
// printed it; the failure says so (NoAnswer), nothing resets the printer
// while it may still be printing, and the fiscal receipt is kept in doubt
// (LanLedger) until the next receipt's numbers tell what became of it. Every
// other failed document is followed by a reset, since whether the firmware
// leaves a refused document open is not known.
class LanPrinter final : public PrinterControl {
public:
    struct Timeouts {
        int serviceMs = 10000;       // what the service waits for the fiscal unit
        int clientMs = 15000;        // what this control waits for the reply
        int reportServiceMs = 60000; // closures take longer (transmission)
        int reportClientMs = 65000;
        int openServiceMs = 5000;
        int openClientMs = 7000;
        // While a document is in doubt, how long apart the two status
        // queries are that must both show a document open before it is reset.
        int doubtRecheckMs = 3000;
    };

    // The trace's time stamps and the pause before a second look come from
    // `clock`.
    LanPrinter(const std::filesystem::path& programDir, Clock& clock, LanEndpoint endpoint, QString pinnedFingerprint,
               Timeouts timeouts);
    LanPrinter(const std::filesystem::path& programDir, Clock& clock, LanEndpoint endpoint,
               QString pinnedFingerprint = {});

    static constexpr const char* TraceFile = "StampanteLAN.log";
    static constexpr const char* UnclosedDocument = "Documento non chiuso dal file: annullato";

    // Every operation of the contract (printer/PrinterControl.h), each defined
    // in LanPrinter.cpp.
    TESSIRO_PRINTER_OPERATIONS(TESSIRO_PRINTER_OVERRIDE)
    bool FailureInDoubt() override { return m_failureInDoubt; }
    bool StoppedInDoubt(const std::string& file, bool fiscal) override;

    const DocumentCollector& collector() const { return m_doc; }
    const LanLedger& ledger() const { return m_ledger; }

private:
    // How long an exchange may take: a document, the opening's status
    // query, a closure.
    enum class Wait { Normal, Opening, Report };
    // A collecting call: checks the port, runs `step`, sends what it
    // completed, raises the event on failure.
    template <typename Step>
    int16_t run(Step&& step, Wait wait = Wait::Normal);
    int16_t send(const LanDocument& doc, Wait wait);
    LanReply exchange(const LanDocument& doc, Wait wait);
    int16_t fail(int16_t code, const QString& detail = {});
    void trace(const QString& line);
    // At the start of each call: the last call's doubt is no more.
    void begin();
    // resetPrinter; a doubt can no longer be told by counting receipts,
    // or, when the doubtful receipt was found stranded, it is settled.
    LanReply resetPrinter();
    void receiptConfirmed(const LanReply& reply);
    void receiptInDoubt();
    void note(PrinterNote note);
    void saveLedger();

    // Tells once, as a note, that a file of this control could not be used
    // because of what stands in its place; again only after it was usable.
    void refusedFile(const char* name, int error, bool& noted);

    // The program folder, held open: the trace is reached through it and
    // never through a link.
    Folder m_folder;
    Clock& m_clock;
    bool m_traceRefusalNoted = false;
    bool m_ledgerRefusalNoted = false;
    std::filesystem::path m_configFile;
    HttpClient m_client;
    Timeouts m_timeouts;
    DocumentCollector m_doc;
    bool m_open = false;
    bool m_inEvent = false;
    bool m_tlsNoted = false;
    bool m_failureInDoubt = false;
    // DocumentOpen found the document open twice while a doubt stood.
    bool m_strandedConfirmed = false;
    LanLedger m_ledger;
    // What the printer's last reply said about an open document; empty until
    // a reply with status digits has come in this process.
    std::optional<bool> m_printerDocumentOpen;
    // The printer's own words for the last failure of each code.
    std::map<int32_t, QString> m_details;
};
