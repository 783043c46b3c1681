// SPDX-License-Identifier: MIT
#pragma once

#include "lan/HttpClient.h"
#include "lan/LanDocument.h"
#include "printer/PrinterControl.h"

#include <filesystem>
#include <map>
#include <optional>

// The fiscal printer control for a printer on the shop's LAN that takes
// whole documents as XML over HTTP. The calls of a fiscal receipt are
// collected (DocumentCollector) and the receipt goes out with the payment
// that covers its total; a non-fiscal document goes at its close; display,
// drawer, closures and resets go at once. Each exchange is one line each way
// in the trace file StampanteLAN.log of the program folder.
//
// Sending waits on the socket without running the event loop (HttpClient),
// so no timer tick or control command runs in the middle of a send. A
// document is never sent twice on this control's own account: after a
// timeout the printer may or may not have printed it, and the failure says so.
class LanPrinter final : public PrinterControl {
public:
    struct Timeouts {
        int serviceMs = 10000;       // what the service waits for the fiscal unit
        int clientMs = 15000;        // what this control waits for the reply
        int reportServiceMs = 60000; // closures take longer (transmission)
        int reportClientMs = 65000;
        int openServiceMs = 5000;
        int openClientMs = 7000;
    };

    LanPrinter(const std::filesystem::path& programDir, LanEndpoint endpoint, QString pinnedFingerprint,
               Timeouts timeouts);
    LanPrinter(const std::filesystem::path& programDir, LanEndpoint endpoint, QString pinnedFingerprint = {});

    static constexpr const char* TraceFile = "StampanteLAN.log";
    static constexpr const char* UnclosedDocument = "Documento non chiuso dal file: annullato";

    // The port settings mean nothing to a printer on the LAN; they are kept
    // so the bridge's open sequence runs as with any control.
    void setOpenOptionA(int32_t) override {}
    void setOpenOptionB(int32_t) override {}
    void setComPort(int16_t) override {}
    void setComSettings(const std::string&) override {}
    void setItemOptionA(int16_t) override {}
    void setItemOptionB(int16_t) override {}
    void OpenPort() override;
    void ClosePort() override;
    bool PortIsOpen() override { return m_open; }
    OpenDocument DocumentOpen() override;
    bool Busy() override { return false; }
    int16_t SellDept(int16_t idOp, const std::string& text, Currency price, int16_t dept) override;
    int16_t SellDeptQty(int16_t idOp, const std::string& text, float quantity, Currency price, int16_t dept) override;
    int16_t ReturnDept(int16_t idOp, const std::string& text, Currency price, int16_t dept) override;
    int16_t ReturnDeptQty(int16_t idOp, const std::string& text, float quantity, Currency price, int16_t dept) override;
    int16_t ReturnDeptAmount(int16_t idOp, const std::string& text, Currency amount, int16_t dept) override;
    int16_t AddDescription(int16_t idOp, const std::string& text) override;
    int16_t ExtraLine(int16_t idOp, int16_t line, const std::string& text) override;
    int16_t Subtotal(int16_t value) override;
    int16_t SubtotalDiscount(int16_t idOp, Currency amount) override;
    int16_t CancelReceipt(int16_t value) override;
    int16_t PayCash(int16_t idOp, Currency amount) override;
    int16_t PayCheque(int16_t idOp, Currency amount) override;
    int16_t PayCard(int16_t idOp, int16_t value) override;
    int16_t PayTicket(int16_t idOp, int16_t value, Currency amount) override;
    int16_t PayTender(int16_t idOp, const std::string& text, Currency amount, int32_t type, int16_t flag,
                      int16_t index) override;
    int16_t OpenNonFiscal(int16_t idOp) override;
    int16_t NonFiscalLine(int16_t idOp, int16_t value, const std::string& text) override;
    int16_t CloseNonFiscal(int16_t idOp) override;
    int16_t DisplayText(int16_t idOp, const std::string& text) override;
    int16_t OpenCmd(int16_t idOp) override;
    int16_t AmountEntry(int16_t idOp, Currency amount) override;
    int16_t FiscalClosure(int16_t idOp) override;
    int16_t FiscalClosureAlt(int16_t idOp) override;
    int16_t PaperEndRecovery(int16_t value) override;
    std::string ErrorText(int16_t level, int32_t code) override;

    const DocumentCollector& collector() const { return m_doc; }

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

    std::filesystem::path m_tracePath;
    HttpClient m_client;
    Timeouts m_timeouts;
    DocumentCollector m_doc;
    bool m_open = false;
    bool m_inEvent = false;
    bool m_tlsNoted = false;
    // What the printer's last reply said about an open document; empty until
    // a reply with status digits has come in this process.
    std::optional<bool> m_printerDocumentOpen;
    // The printer's own words for the last failure of each code.
    std::map<int32_t, QString> m_details;
};
