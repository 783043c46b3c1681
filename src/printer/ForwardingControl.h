// SPDX-License-Identifier: MIT
#pragma once

#include "printer/PrinterControl.h"

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <variant>

// A value a call carries or answers, in the contract's own type. Empty
// (monostate) for the answer of a put or of a call that answers nothing.
using CallValue = std::variant<std::monostate, bool, int16_t, int32_t, float, Currency, std::string, OpenDocument>;

// One call on its way through a ForwardingControl.
struct ControlCall {
    enum class Kind {
        Put,      // a property put: setComPort, ...
        Get,      // a property get: Busy, DocumentOpen
        Call,     // OpenPort, ClosePort, PortIsOpen, ErrorText
        Printing, // answers a 16-bit code, 0 for done
    };
    Kind kind;
    const char* name; // the contract's member name, "set" dropped from puts
    std::span<const CallValue> arguments;
};

// A printer control that passes every call to a wrapped control, so a
// wrapper or a test double writes only what it changes: it overrides pass()
// to count, record, raise or stop around every call, or overrides a member.
// While it lives it holds the wrapped control's error event, notes, waits and
// file question, and hands them on to its own owner. Which document is in
// doubt is the wrapped control's to tell; those two questions do not go
// through pass().
//
// Not a base for a real printer: a forgotten member would silently pass on
// to whatever is wrapped.
class ForwardingControl : public PrinterControl {
public:
    // The wrapped control outlives this one.
    explicit ForwardingControl(PrinterControl& inner);
    // This one owns the wrapped control.
    explicit ForwardingControl(std::unique_ptr<PrinterControl> inner);
    ~ForwardingControl() override;
    ForwardingControl(const ForwardingControl&) = delete;
    ForwardingControl& operator=(const ForwardingControl&) = delete;

    bool FailureInDoubt() override { return m_inner.FailureInDoubt(); }
    bool StoppedInDoubt(const std::string& file, bool fiscal) override { return m_inner.StoppedInDoubt(file, fiscal); }

    void setOpenOptionA(int32_t value) override;
    void setOpenOptionB(int32_t value) override;
    void setComPort(int16_t port) override;
    void setComSettings(const std::string& settings) override;
    void setItemOptionA(int16_t value) override;
    void setItemOptionB(int16_t value) override;

    void OpenPort() override;
    void ClosePort() override;
    bool PortIsOpen() override;
    bool Busy() override;
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

protected:
    // Every member of the contract comes here on its way: `make` makes the
    // call on the wrapped control and gives its answer, which pass() returns.
    // An override may act before or after it, raise instead, or return
    // another answer of the same type.
    virtual CallValue pass(const ControlCall& call, const std::function<CallValue()>& make);

    PrinterControl& inner() { return m_inner; }

private:
    template <typename Result, typename... Params, typename... Args>
    Result forward(ControlCall::Kind kind, const char* name, Result (PrinterControl::*member)(Params...),
                   const Args&... arguments);

    std::unique_ptr<PrinterControl> m_owned;
    PrinterControl& m_inner;
};
