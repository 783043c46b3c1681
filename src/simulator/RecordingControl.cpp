// SPDX-License-Identifier: MIT
#include "simulator/RecordingControl.h"

#include "simulator/CallTrace.h"

#include <string_view>

using calltrace::args;

std::vector<std::string> RecordingControl::take()
{
    std::vector<std::string> lines;
    lines.swap(m_lines);
    return lines;
}

int16_t RecordingControl::done(const char* name, const std::string& arguments)
{
    // Every call is taken, so a sale or description opens a receipt, any
    // payment closes it (it pays what is due), and a void ends it.
    const std::string_view n = name;
    if (n.starts_with("Sell") || n.starts_with("Return") || n == "AddDescription" || n == "Subtotal" ||
        n == "SubtotalDiscount" || n == "ExtraLine")
        m_document = OpenDocument::Fiscal;
    else if (n.starts_with("Pay") || n == "CancelReceipt" || n == "CloseNonFiscal")
        m_document = OpenDocument::None;
    else if (n == "OpenNonFiscal")
        m_document = OpenDocument::NonFiscal;
    m_lines.push_back(calltrace::call(name, arguments, calltrace::value(int16_t{0})));
    return 0;
}

void RecordingControl::setOpenOptionA(int32_t value)
{
    m_lines.push_back(calltrace::put("OpenOptionA", calltrace::value(value)));
}

void RecordingControl::setOpenOptionB(int32_t value)
{
    m_lines.push_back(calltrace::put("OpenOptionB", calltrace::value(value)));
}

void RecordingControl::setComPort(int16_t port)
{
    m_lines.push_back(calltrace::put("ComPort", calltrace::value(port)));
}

void RecordingControl::setComSettings(const std::string& settings)
{
    m_lines.push_back(calltrace::put("ComSettings", calltrace::value(settings)));
}

void RecordingControl::setItemOptionA(int16_t value)
{
    m_lines.push_back(calltrace::put("ItemOptionA", calltrace::value(value)));
}

void RecordingControl::setItemOptionB(int16_t value)
{
    m_lines.push_back(calltrace::put("ItemOptionB", calltrace::value(value)));
}

void RecordingControl::OpenPort()
{
    m_lines.push_back(calltrace::call("OpenPort", ""));
    m_open = true;
}

void RecordingControl::ClosePort()
{
    m_lines.push_back(calltrace::call("ClosePort", ""));
    m_open = false;
}

bool RecordingControl::PortIsOpen()
{
    m_lines.push_back(calltrace::call("PortIsOpen", "", calltrace::value(m_open)));
    return m_open;
}

OpenDocument RecordingControl::DocumentOpen()
{
    return m_document;
}

int16_t RecordingControl::SellDept(int16_t idOp, const std::string& text, Currency price, int16_t dept)
{
    return done("SellDept", args(idOp, text, price, dept));
}

int16_t RecordingControl::SellDeptQty(int16_t idOp, const std::string& text, float quantity, Currency price,
                                      int16_t dept)
{
    return done("SellDeptQty", args(idOp, text, quantity, price, dept));
}

int16_t RecordingControl::ReturnDept(int16_t idOp, const std::string& text, Currency price, int16_t dept)
{
    return done("ReturnDept", args(idOp, text, price, dept));
}

int16_t RecordingControl::ReturnDeptQty(int16_t idOp, const std::string& text, float quantity, Currency price,
                                        int16_t dept)
{
    return done("ReturnDeptQty", args(idOp, text, quantity, price, dept));
}

int16_t RecordingControl::ReturnDeptAmount(int16_t idOp, const std::string& text, Currency amount, int16_t dept)
{
    return done("ReturnDeptAmount", args(idOp, text, amount, dept));
}

int16_t RecordingControl::AddDescription(int16_t idOp, const std::string& text)
{
    return done("AddDescription", args(idOp, text));
}

int16_t RecordingControl::ExtraLine(int16_t idOp, int16_t line, const std::string& text)
{
    return done("ExtraLine", args(idOp, line, text));
}

int16_t RecordingControl::Subtotal(int16_t value)
{
    return done("Subtotal", args(value));
}

int16_t RecordingControl::SubtotalDiscount(int16_t idOp, Currency amount)
{
    return done("SubtotalDiscount", args(idOp, amount));
}

int16_t RecordingControl::CancelReceipt(int16_t value)
{
    return done("CancelReceipt", args(value));
}

int16_t RecordingControl::PayCash(int16_t idOp, Currency amount)
{
    return done("PayCash", args(idOp, amount));
}

int16_t RecordingControl::PayCheque(int16_t idOp, Currency amount)
{
    return done("PayCheque", args(idOp, amount));
}

int16_t RecordingControl::PayCard(int16_t idOp, int16_t value)
{
    return done("PayCard", args(idOp, value));
}

int16_t RecordingControl::PayTicket(int16_t idOp, int16_t value, Currency amount)
{
    return done("PayTicket", args(idOp, value, amount));
}

int16_t RecordingControl::PayTender(int16_t idOp, const std::string& text, Currency amount, int32_t type, int16_t flag,
                                    int16_t index)
{
    return done("PayTender", args(idOp, text, amount, type, flag, index));
}

int16_t RecordingControl::OpenNonFiscal(int16_t idOp)
{
    return done("OpenNonFiscal", args(idOp));
}

int16_t RecordingControl::NonFiscalLine(int16_t idOp, int16_t value, const std::string& text)
{
    return done("NonFiscalLine", args(idOp, value, text));
}

int16_t RecordingControl::CloseNonFiscal(int16_t idOp)
{
    return done("CloseNonFiscal", args(idOp));
}

int16_t RecordingControl::DisplayText(int16_t idOp, const std::string& text)
{
    return done("DisplayText", args(idOp, text));
}

int16_t RecordingControl::OpenCmd(int16_t idOp)
{
    return done("OpenCmd", args(idOp));
}

int16_t RecordingControl::AmountEntry(int16_t idOp, Currency amount)
{
    return done("AmountEntry", args(idOp, amount));
}

int16_t RecordingControl::FiscalClosure(int16_t idOp)
{
    return done("FiscalClosure", args(idOp));
}

int16_t RecordingControl::FiscalClosureAlt(int16_t idOp)
{
    return done("FiscalClosureAlt", args(idOp));
}

int16_t RecordingControl::PaperEndRecovery(int16_t value)
{
    return done("PaperEndRecovery", args(value));
}

std::string RecordingControl::ErrorText(int16_t level, int32_t code)
{
    const std::string text = "errore " + std::to_string(code);
    m_lines.push_back(calltrace::call("ErrorText", args(level, code), calltrace::value(text)));
    return text;
}
