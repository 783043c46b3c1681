// SPDX-License-Identifier: MIT
#pragma once

#include "printer/PrinterControl.h"

// A printer control with no printer behind it that accepts every call: each
// printing call answers 0, the port opens whatever its settings, the printer
// is never busy and holds no document, and an error has no text. What a
// ForwardingControl wraps when the wrapper, not a printer, is what counts:
// a trace of what would be sent, a test double, a benchmark measuring the
// bridge alone.
class AcceptingControl : public PrinterControl {
public:
    void setOpenOptionA(int32_t) override {}
    void setOpenOptionB(int32_t) override {}
    void setComPort(int16_t) override {}
    void setComSettings(const std::string&) override {}
    void setItemOptionA(int16_t) override {}
    void setItemOptionB(int16_t) override {}

    void OpenPort() override { m_open = true; }
    void ClosePort() override { m_open = false; }
    bool PortIsOpen() override { return m_open; }
    bool Busy() override { return false; }
    OpenDocument DocumentOpen() override { return OpenDocument::None; }

    int16_t SellDept(int16_t, const std::string&, Currency, int16_t) override { return 0; }
    int16_t SellDeptQty(int16_t, const std::string&, float, Currency, int16_t) override { return 0; }
    int16_t ReturnDept(int16_t, const std::string&, Currency, int16_t) override { return 0; }
    int16_t ReturnDeptQty(int16_t, const std::string&, float, Currency, int16_t) override { return 0; }
    int16_t ReturnDeptAmount(int16_t, const std::string&, Currency, int16_t) override { return 0; }
    int16_t AddDescription(int16_t, const std::string&) override { return 0; }
    int16_t ExtraLine(int16_t, int16_t, const std::string&) override { return 0; }
    int16_t Subtotal(int16_t) override { return 0; }
    int16_t SubtotalDiscount(int16_t, Currency) override { return 0; }
    int16_t CancelReceipt(int16_t) override { return 0; }

    int16_t PayCash(int16_t, Currency) override { return 0; }
    int16_t PayCheque(int16_t, Currency) override { return 0; }
    int16_t PayCard(int16_t, int16_t) override { return 0; }
    int16_t PayTicket(int16_t, int16_t, Currency) override { return 0; }
    int16_t PayTender(int16_t, const std::string&, Currency, int32_t, int16_t, int16_t) override { return 0; }

    int16_t OpenNonFiscal(int16_t) override { return 0; }
    int16_t NonFiscalLine(int16_t, int16_t, const std::string&) override { return 0; }
    int16_t CloseNonFiscal(int16_t) override { return 0; }
    int16_t DisplayText(int16_t, const std::string&) override { return 0; }
    int16_t OpenCmd(int16_t) override { return 0; }
    int16_t AmountEntry(int16_t, Currency) override { return 0; }

    int16_t FiscalClosure(int16_t) override { return 0; }
    int16_t FiscalClosureAlt(int16_t) override { return 0; }
    int16_t PaperEndRecovery(int16_t) override { return 0; }

    std::string ErrorText(int16_t, int32_t) override { return {}; }

private:
    bool m_open = false;
};
