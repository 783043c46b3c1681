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

template <typename Result, typename Make, typename... Args>
Result ForwardingControl::forward(Kind kind, const char* name, const Make& make, const Args&... arguments)
{
    const std::array<CallValue, sizeof...(Args)> values{CallValue(std::in_place_type<Args>, arguments)...};
    const ControlCall call{kind, name, values};
    if constexpr (std::is_void_v<Result>) {
        pass(call, [&make] {
            make();
            return CallValue();
        });
    } else {
        return std::get<Result>(pass(call, [&make] { return CallValue(std::in_place_type<Result>, make()); }));
    }
}

void ForwardingControl::setOpenOptionA(int32_t value)
{
    forward<void>(Kind::Put, "OpenOptionA", [&] { m_inner.setOpenOptionA(value); }, value);
}

void ForwardingControl::setOpenOptionB(int32_t value)
{
    forward<void>(Kind::Put, "OpenOptionB", [&] { m_inner.setOpenOptionB(value); }, value);
}

void ForwardingControl::setComPort(int16_t port)
{
    forward<void>(Kind::Put, "ComPort", [&] { m_inner.setComPort(port); }, port);
}

void ForwardingControl::setComSettings(const std::string& settings)
{
    forward<void>(Kind::Put, "ComSettings", [&] { m_inner.setComSettings(settings); }, settings);
}

void ForwardingControl::setItemOptionA(int16_t value)
{
    forward<void>(Kind::Put, "ItemOptionA", [&] { m_inner.setItemOptionA(value); }, value);
}

void ForwardingControl::setItemOptionB(int16_t value)
{
    forward<void>(Kind::Put, "ItemOptionB", [&] { m_inner.setItemOptionB(value); }, value);
}

void ForwardingControl::OpenPort()
{
    forward<void>(Kind::Call, "OpenPort", [&] { m_inner.OpenPort(); });
}

void ForwardingControl::ClosePort()
{
    forward<void>(Kind::Call, "ClosePort", [&] { m_inner.ClosePort(); });
}

bool ForwardingControl::PortIsOpen()
{
    return forward<bool>(Kind::Call, "PortIsOpen", [&] { return m_inner.PortIsOpen(); });
}

bool ForwardingControl::Busy()
{
    return forward<bool>(Kind::Get, "Busy", [&] { return m_inner.Busy(); });
}

OpenDocument ForwardingControl::DocumentOpen()
{
    return forward<OpenDocument>(Kind::Get, "DocumentOpen", [&] { return m_inner.DocumentOpen(); });
}

int16_t ForwardingControl::SellDept(int16_t idOp, const std::string& text, Currency price, int16_t dept)
{
    return forward<int16_t>(
        Kind::Printing, "SellDept", [&] { return m_inner.SellDept(idOp, text, price, dept); }, idOp, text, price,
        dept);
}

int16_t ForwardingControl::SellDeptQty(int16_t idOp, const std::string& text, float quantity, Currency price,
                                       int16_t dept)
{
    return forward<int16_t>(
        Kind::Printing, "SellDeptQty", [&] { return m_inner.SellDeptQty(idOp, text, quantity, price, dept); }, idOp,
        text, quantity, price, dept);
}

int16_t ForwardingControl::ReturnDept(int16_t idOp, const std::string& text, Currency price, int16_t dept)
{
    return forward<int16_t>(
        Kind::Printing, "ReturnDept", [&] { return m_inner.ReturnDept(idOp, text, price, dept); }, idOp, text, price,
        dept);
}

int16_t ForwardingControl::ReturnDeptQty(int16_t idOp, const std::string& text, float quantity, Currency price,
                                         int16_t dept)
{
    return forward<int16_t>(
        Kind::Printing, "ReturnDeptQty", [&] { return m_inner.ReturnDeptQty(idOp, text, quantity, price, dept); },
        idOp, text, quantity, price, dept);
}

int16_t ForwardingControl::ReturnDeptAmount(int16_t idOp, const std::string& text, Currency amount, int16_t dept)
{
    return forward<int16_t>(
        Kind::Printing, "ReturnDeptAmount", [&] { return m_inner.ReturnDeptAmount(idOp, text, amount, dept); }, idOp,
        text, amount, dept);
}

int16_t ForwardingControl::AddDescription(int16_t idOp, const std::string& text)
{
    return forward<int16_t>(
        Kind::Printing, "AddDescription", [&] { return m_inner.AddDescription(idOp, text); }, idOp, text);
}

int16_t ForwardingControl::ExtraLine(int16_t idOp, int16_t line, const std::string& text)
{
    return forward<int16_t>(
        Kind::Printing, "ExtraLine", [&] { return m_inner.ExtraLine(idOp, line, text); }, idOp, line, text);
}

int16_t ForwardingControl::Subtotal(int16_t value)
{
    return forward<int16_t>(Kind::Printing, "Subtotal", [&] { return m_inner.Subtotal(value); }, value);
}

int16_t ForwardingControl::SubtotalDiscount(int16_t idOp, Currency amount)
{
    return forward<int16_t>(
        Kind::Printing, "SubtotalDiscount", [&] { return m_inner.SubtotalDiscount(idOp, amount); }, idOp, amount);
}

int16_t ForwardingControl::CancelReceipt(int16_t value)
{
    return forward<int16_t>(Kind::Printing, "CancelReceipt", [&] { return m_inner.CancelReceipt(value); }, value);
}

int16_t ForwardingControl::PayCash(int16_t idOp, Currency amount)
{
    return forward<int16_t>(Kind::Printing, "PayCash", [&] { return m_inner.PayCash(idOp, amount); }, idOp, amount);
}

int16_t ForwardingControl::PayCheque(int16_t idOp, Currency amount)
{
    return forward<int16_t>(
        Kind::Printing, "PayCheque", [&] { return m_inner.PayCheque(idOp, amount); }, idOp, amount);
}

int16_t ForwardingControl::PayCard(int16_t idOp, int16_t value)
{
    return forward<int16_t>(Kind::Printing, "PayCard", [&] { return m_inner.PayCard(idOp, value); }, idOp, value);
}

int16_t ForwardingControl::PayTicket(int16_t idOp, int16_t value, Currency amount)
{
    return forward<int16_t>(
        Kind::Printing, "PayTicket", [&] { return m_inner.PayTicket(idOp, value, amount); }, idOp, value, amount);
}

int16_t ForwardingControl::PayTender(int16_t idOp, const std::string& text, Currency amount, int32_t type,
                                     int16_t flag, int16_t index)
{
    return forward<int16_t>(
        Kind::Printing, "PayTender", [&] { return m_inner.PayTender(idOp, text, amount, type, flag, index); }, idOp,
        text, amount, type, flag, index);
}

int16_t ForwardingControl::OpenNonFiscal(int16_t idOp)
{
    return forward<int16_t>(Kind::Printing, "OpenNonFiscal", [&] { return m_inner.OpenNonFiscal(idOp); }, idOp);
}

int16_t ForwardingControl::NonFiscalLine(int16_t idOp, int16_t value, const std::string& text)
{
    return forward<int16_t>(
        Kind::Printing, "NonFiscalLine", [&] { return m_inner.NonFiscalLine(idOp, value, text); }, idOp, value, text);
}

int16_t ForwardingControl::CloseNonFiscal(int16_t idOp)
{
    return forward<int16_t>(Kind::Printing, "CloseNonFiscal", [&] { return m_inner.CloseNonFiscal(idOp); }, idOp);
}

int16_t ForwardingControl::DisplayText(int16_t idOp, const std::string& text)
{
    return forward<int16_t>(
        Kind::Printing, "DisplayText", [&] { return m_inner.DisplayText(idOp, text); }, idOp, text);
}

int16_t ForwardingControl::OpenCmd(int16_t idOp)
{
    return forward<int16_t>(Kind::Printing, "OpenCmd", [&] { return m_inner.OpenCmd(idOp); }, idOp);
}

int16_t ForwardingControl::AmountEntry(int16_t idOp, Currency amount)
{
    return forward<int16_t>(
        Kind::Printing, "AmountEntry", [&] { return m_inner.AmountEntry(idOp, amount); }, idOp, amount);
}

int16_t ForwardingControl::FiscalClosure(int16_t idOp)
{
    return forward<int16_t>(Kind::Printing, "FiscalClosure", [&] { return m_inner.FiscalClosure(idOp); }, idOp);
}

int16_t ForwardingControl::FiscalClosureAlt(int16_t idOp)
{
    return forward<int16_t>(
        Kind::Printing, "FiscalClosureAlt", [&] { return m_inner.FiscalClosureAlt(idOp); }, idOp);
}

int16_t ForwardingControl::PaperEndRecovery(int16_t value)
{
    return forward<int16_t>(
        Kind::Printing, "PaperEndRecovery", [&] { return m_inner.PaperEndRecovery(value); }, value);
}

std::string ForwardingControl::ErrorText(int16_t level, int32_t code)
{
    return forward<std::string>(
        Kind::Call, "ErrorText", [&] { return m_inner.ErrorText(level, code); }, level, code);
}
