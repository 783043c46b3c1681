// SPDX-License-Identifier: MIT
#pragma once

#include "printer/PrinterControl.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace apptest {

// A printer control that accepts everything and records each call by name.
// `codes` makes a named call return a failure code; `onOpenPort` runs inside
// OpenPort, where a test can look at the bridge in the middle of a file.
class RecordingPrinter : public PrinterControl {
public:
    std::vector<std::string> calls;
    std::map<std::string, int16_t> codes;
    std::function<void()> onOpenPort;
    // Runs inside every printing call (those that answer with a code).
    std::function<void()> onCall;
    bool open = false;

    int count(const std::string& name) const
    {
        int n = 0;
        for (const auto& c : calls)
            n += c == name;
        return n;
    }

    void setOpenOptionA(int32_t) override { calls.push_back("setOpenOptionA"); }
    void setOpenOptionB(int32_t) override { calls.push_back("setOpenOptionB"); }
    void setComPort(int16_t) override { calls.push_back("setComPort"); }
    void setComSettings(const std::string&) override { calls.push_back("setComSettings"); }
    void setItemOptionA(int16_t) override { calls.push_back("setItemOptionA"); }
    void setItemOptionB(int16_t) override { calls.push_back("setItemOptionB"); }
    void OpenPort() override
    {
        calls.push_back("OpenPort");
        open = true;
        if (onOpenPort)
            onOpenPort();
    }
    void ClosePort() override
    {
        calls.push_back("ClosePort");
        open = false;
    }
    bool PortIsOpen() override { return open; }
    bool Busy() override { return false; }
    // What DocumentOpen answers; a test sets it.
    OpenDocument document = OpenDocument::None;
    OpenDocument DocumentOpen() override { return document; }
    int16_t SellDept(int16_t, const std::string&, Currency, int16_t) override { return code("SellDept"); }
    int16_t SellDeptQty(int16_t, const std::string&, float, Currency, int16_t) override { return code("SellDeptQty"); }
    int16_t ReturnDept(int16_t, const std::string&, Currency, int16_t) override { return code("ReturnDept"); }
    int16_t ReturnDeptQty(int16_t, const std::string&, float, Currency, int16_t) override
    {
        return code("ReturnDeptQty");
    }
    int16_t ReturnDeptAmount(int16_t, const std::string&, Currency, int16_t) override
    {
        return code("ReturnDeptAmount");
    }
    int16_t AddDescription(int16_t, const std::string&) override { return code("AddDescription"); }
    int16_t ExtraLine(int16_t, int16_t, const std::string&) override { return code("ExtraLine"); }
    int16_t Subtotal(int16_t) override { return code("Subtotal"); }
    int16_t SubtotalDiscount(int16_t, Currency) override { return code("SubtotalDiscount"); }
    int16_t CancelReceipt(int16_t) override { return code("CancelReceipt"); }
    int16_t PayCash(int16_t, Currency) override { return code("PayCash"); }
    int16_t PayCheque(int16_t, Currency) override { return code("PayCheque"); }
    int16_t PayCard(int16_t, int16_t) override { return code("PayCard"); }
    int16_t PayTicket(int16_t, int16_t, Currency) override { return code("PayTicket"); }
    int16_t PayTender(int16_t, const std::string&, Currency, int32_t, int16_t, int16_t) override
    {
        return code("PayTender");
    }
    int16_t OpenNonFiscal(int16_t) override { return code("OpenNonFiscal"); }
    int16_t NonFiscalLine(int16_t, int16_t, const std::string&) override { return code("NonFiscalLine"); }
    int16_t CloseNonFiscal(int16_t) override { return code("CloseNonFiscal"); }
    int16_t DisplayText(int16_t, const std::string& text) override { return code("DisplayText:" + text); }
    int16_t OpenCmd(int16_t) override { return code("OpenCmd"); }
    int16_t AmountEntry(int16_t, Currency) override { return code("AmountEntry"); }
    int16_t FiscalClosure(int16_t) override { return code("FiscalClosure"); }
    int16_t FiscalClosureAlt(int16_t) override { return code("FiscalClosureAlt"); }
    int16_t PaperEndRecovery(int16_t) override { return code("PaperEndRecovery"); }
    std::string ErrorText(int16_t, int32_t) override { return "errore simulato"; }

private:
    int16_t code(const std::string& name)
    {
        calls.push_back(name);
        if (onCall)
            onCall();
        const auto it = codes.find(name);
        return it == codes.end() ? 0 : it->second;
    }
};

} // namespace apptest
