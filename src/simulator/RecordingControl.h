// SPDX-License-Identifier: MIT
#pragma once

#include "printer/PrinterControl.h"

#include <string>
#include <vector>

// A printer control with no printer behind it: every call succeeds (code 0,
// the port opens whatever its settings) and is written down as a line of the
// call trace (CallTrace.h), arguments included. `tessiro check` runs command
// files against it to show what the bridge would send. The printer is never
// busy, and those looks are not written down: one per record would bury the
// calls that matter.
class RecordingControl final : public PrinterControl {
public:
    // The trace lines since the last take().
    std::vector<std::string> take();

    void setOpenOptionA(int32_t value) override;
    void setOpenOptionB(int32_t value) override;
    void setComPort(int16_t port) override;
    void setComSettings(const std::string& settings) override;
    void setItemOptionA(int16_t value) override;
    void setItemOptionB(int16_t value) override;

    void OpenPort() override;
    void ClosePort() override;
    bool PortIsOpen() override;
    bool Busy() override { return false; }
    OpenDocument DocumentOpen() override;

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

private:
    int16_t done(const char* name, const std::string& arguments);

    std::vector<std::string> m_lines;
    bool m_open = false;
    OpenDocument m_document = OpenDocument::None;
};
