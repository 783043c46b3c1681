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

    // Every operation of the contract, each passed on through pass().
    TESSIRO_PRINTER_OPERATIONS(TESSIRO_PRINTER_OVERRIDE)

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
