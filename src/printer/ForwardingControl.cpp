// SPDX-License-Identifier: MIT
#include "printer/ForwardingControl.h"

#include <array>
#include <type_traits>
#include <utility>

using Kind = ControlCall::Kind;

ForwardingControl::ForwardingControl(PrinterControl& inner) : m_inner(inner)
{
    m_inner.onErrorEvent = [this](int16_t level, int32_t code) {
        if (onErrorEvent)
            onErrorEvent(level, code);
    };
    m_inner.whileWaiting = [this] {
        if (whileWaiting)
            whileWaiting();
    };
    m_inner.onNote = [this](const PrinterNote& note) {
        if (onNote)
            onNote(note);
    };
    m_inner.currentFile = [this] { return currentFile ? currentFile() : std::string(); };
}

ForwardingControl::ForwardingControl(std::unique_ptr<PrinterControl> inner) : ForwardingControl(*inner)
{
    m_owned = std::move(inner);
}

ForwardingControl::~ForwardingControl()
{
    m_inner.onErrorEvent = nullptr;
    m_inner.whileWaiting = nullptr;
    m_inner.onNote = nullptr;
    m_inner.currentFile = nullptr;
}

CallValue ForwardingControl::pass(const ControlCall&, const std::function<CallValue()>& make)
{
    return make();
}

template <typename Result, typename... Params, typename... Args>
Result ForwardingControl::forward(Kind kind, const char* name, Result (PrinterControl::*member)(Params...),
                                  const Args&... arguments)
{
    const std::array<CallValue, sizeof...(Args)> values{CallValue(std::in_place_type<Args>, arguments)...};
    const ControlCall call{kind, name, values};
    if constexpr (std::is_void_v<Result>) {
        pass(call, [&] {
            (m_inner.*member)(arguments...);
            return CallValue();
        });
    } else {
        return std::get<Result>(
            pass(call, [&] { return CallValue(std::in_place_type<Result>, (m_inner.*member)(arguments...)); }));
    }
}

void ForwardingControl::setOpenOptionA(int32_t value)
{
    forward(Kind::Put, "OpenOptionA", &PrinterControl::setOpenOptionA, value);
}

void ForwardingControl::setOpenOptionB(int32_t value)
{
    forward(Kind::Put, "OpenOptionB", &PrinterControl::setOpenOptionB, value);
}

void ForwardingControl::setComPort(int16_t port)
{
    forward(Kind::Put, "ComPort", &PrinterControl::setComPort, port);
}

void ForwardingControl::setComSettings(const std::string& settings)
{
    forward(Kind::Put, "ComSettings", &PrinterControl::setComSettings, settings);
}

void ForwardingControl::setItemOptionA(int16_t value)
{
    forward(Kind::Put, "ItemOptionA", &PrinterControl::setItemOptionA, value);
}

void ForwardingControl::setItemOptionB(int16_t value)
{
    forward(Kind::Put, "ItemOptionB", &PrinterControl::setItemOptionB, value);
}

void ForwardingControl::OpenPort()
{
    forward(Kind::Call, "OpenPort", &PrinterControl::OpenPort);
}

void ForwardingControl::ClosePort()
{
    forward(Kind::Call, "ClosePort", &PrinterControl::ClosePort);
}

bool ForwardingControl::PortIsOpen()
{
    return forward(Kind::Call, "PortIsOpen", &PrinterControl::PortIsOpen);
}

bool ForwardingControl::Busy()
{
    return forward(Kind::Get, "Busy", &PrinterControl::Busy);
}

OpenDocument ForwardingControl::DocumentOpen()
{
    return forward(Kind::Get, "DocumentOpen", &PrinterControl::DocumentOpen);
}

int16_t ForwardingControl::SellDept(int16_t idOp, const std::string& text, Currency price, int16_t dept)
{
    return forward(Kind::Printing, "SellDept", &PrinterControl::SellDept, idOp, text, price, dept);
}

int16_t ForwardingControl::SellDeptQty(int16_t idOp, const std::string& text, float quantity, Currency price,
                                       int16_t dept)
{
    return forward(Kind::Printing, "SellDeptQty", &PrinterControl::SellDeptQty, idOp, text, quantity, price, dept);
}

int16_t ForwardingControl::ReturnDept(int16_t idOp, const std::string& text, Currency price, int16_t dept)
{
    return forward(Kind::Printing, "ReturnDept", &PrinterControl::ReturnDept, idOp, text, price, dept);
}

int16_t ForwardingControl::ReturnDeptQty(int16_t idOp, const std::string& text, float quantity, Currency price,
                                         int16_t dept)
{
    return forward(Kind::Printing, "ReturnDeptQty", &PrinterControl::ReturnDeptQty, idOp, text, quantity, price, dept);
}

int16_t ForwardingControl::ReturnDeptAmount(int16_t idOp, const std::string& text, Currency amount, int16_t dept)
{
    return forward(Kind::Printing, "ReturnDeptAmount", &PrinterControl::ReturnDeptAmount, idOp, text, amount, dept);
}

int16_t ForwardingControl::AddDescription(int16_t idOp, const std::string& text)
{
    return forward(Kind::Printing, "AddDescription", &PrinterControl::AddDescription, idOp, text);
}

int16_t ForwardingControl::ExtraLine(int16_t idOp, int16_t line, const std::string& text)
{
    return forward(Kind::Printing, "ExtraLine", &PrinterControl::ExtraLine, idOp, line, text);
}

int16_t ForwardingControl::Subtotal(int16_t value)
{
    return forward(Kind::Printing, "Subtotal", &PrinterControl::Subtotal, value);
}

int16_t ForwardingControl::SubtotalDiscount(int16_t idOp, Currency amount)
{
    return forward(Kind::Printing, "SubtotalDiscount", &PrinterControl::SubtotalDiscount, idOp, amount);
}

int16_t ForwardingControl::CancelReceipt(int16_t value)
{
    return forward(Kind::Printing, "CancelReceipt", &PrinterControl::CancelReceipt, value);
}

int16_t ForwardingControl::PayCash(int16_t idOp, Currency amount)
{
    return forward(Kind::Printing, "PayCash", &PrinterControl::PayCash, idOp, amount);
}

int16_t ForwardingControl::PayCheque(int16_t idOp, Currency amount)
{
    return forward(Kind::Printing, "PayCheque", &PrinterControl::PayCheque, idOp, amount);
}

int16_t ForwardingControl::PayCard(int16_t idOp, int16_t value)
{
    return forward(Kind::Printing, "PayCard", &PrinterControl::PayCard, idOp, value);
}

int16_t ForwardingControl::PayTicket(int16_t idOp, int16_t value, Currency amount)
{
    return forward(Kind::Printing, "PayTicket", &PrinterControl::PayTicket, idOp, value, amount);
}

int16_t ForwardingControl::PayTender(int16_t idOp, const std::string& text, Currency amount, int32_t type, int16_t flag,
                                     int16_t index)
{
    return forward(Kind::Printing, "PayTender", &PrinterControl::PayTender, idOp, text, amount, type, flag, index);
}

int16_t ForwardingControl::OpenNonFiscal(int16_t idOp)
{
    return forward(Kind::Printing, "OpenNonFiscal", &PrinterControl::OpenNonFiscal, idOp);
}

int16_t ForwardingControl::NonFiscalLine(int16_t idOp, int16_t value, const std::string& text)
{
    return forward(Kind::Printing, "NonFiscalLine", &PrinterControl::NonFiscalLine, idOp, value, text);
}

int16_t ForwardingControl::CloseNonFiscal(int16_t idOp)
{
    return forward(Kind::Printing, "CloseNonFiscal", &PrinterControl::CloseNonFiscal, idOp);
}

int16_t ForwardingControl::DisplayText(int16_t idOp, const std::string& text)
{
    return forward(Kind::Printing, "DisplayText", &PrinterControl::DisplayText, idOp, text);
}

int16_t ForwardingControl::OpenCmd(int16_t idOp)
{
    return forward(Kind::Printing, "OpenCmd", &PrinterControl::OpenCmd, idOp);
}

int16_t ForwardingControl::AmountEntry(int16_t idOp, Currency amount)
{
    return forward(Kind::Printing, "AmountEntry", &PrinterControl::AmountEntry, idOp, amount);
}

int16_t ForwardingControl::FiscalClosure(int16_t idOp)
{
    return forward(Kind::Printing, "FiscalClosure", &PrinterControl::FiscalClosure, idOp);
}

int16_t ForwardingControl::FiscalClosureAlt(int16_t idOp)
{
    return forward(Kind::Printing, "FiscalClosureAlt", &PrinterControl::FiscalClosureAlt, idOp);
}

int16_t ForwardingControl::PaperEndRecovery(int16_t value)
{
    return forward(Kind::Printing, "PaperEndRecovery", &PrinterControl::PaperEndRecovery, value);
}

std::string ForwardingControl::ErrorText(int16_t level, int32_t code)
{
    return forward(Kind::Call, "ErrorText", &PrinterControl::ErrorText, level, code);
}
