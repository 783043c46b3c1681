// SPDX-License-Identifier: MIT
#include "simulator/SimulatedPrinter.h"

#include "config/Text.h"
#include "core/Clock.h"
#include "simulator/CallTrace.h"
#include "simulator/FileLock.h"
#include "simulator/SimCodes.h"
#include "simulator/SimFaults.h"
#include "simulator/SimJournal.h"
#include "simulator/SimReceipt.h"
#include "simulator/SimState.h"
#include "simulator/SimStore.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

namespace fs = std::filesystem;
using calltrace::args;

namespace {

std::optional<long long> wholeNumber(std::string_view text)
{
    const std::string t = trimmed(text);
    long long v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size())
        return std::nullopt;
    return v;
}

// Empty, or baud,parity,data,stop as a serial port takes them.
bool validSettings(const std::string& settings)
{
    if (trimmed(settings).empty())
        return true;
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t comma = settings.find(',', start);
        parts.push_back(trimmed(std::string_view(settings).substr(start, comma - start)));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (parts.size() != 4)
        return false;
    static constexpr long long Rates[] = {110,   300,   600,   1200,  2400,  4800,   9600,   14400,
                                          19200, 28800, 38400, 56000, 57600, 115200, 128000, 256000};
    const auto baud = wholeNumber(parts[0]);
    if (!baud || std::find(std::begin(Rates), std::end(Rates), *baud) == std::end(Rates))
        return false;
    if (parts[1].size() != 1 || std::string_view("NEOMSneoms").find(parts[1][0]) == std::string_view::npos)
        return false;
    const auto data = wholeNumber(parts[2]);
    if (!data || *data < 4 || *data > 8)
        return false;
    return parts[3] == "1" || parts[3] == "1.5" || parts[3] == "2";
}

} // namespace

struct SimulatedPrinter::Impl {
    Impl(SimulatedPrinter& owner, const fs::path& programDir, Clock* given)
        : owner(owner), ownClock(given ? nullptr : std::make_unique<SystemClock>()),
          clock(given ? *given : *ownClock), store(programDir, owner.betweenStateAndRoll), faults(store.folder(), "guasti.ini", clock),
          journal(clock), receipt(store.state(), journal)
    {
        store.recover();
    }

    SimulatedPrinter& owner;
    // The system clock, when the owner gave none.
    std::unique_ptr<SystemClock> ownClock;
    Clock& clock;
    // The files, and the order a print reaches them in.
    SimStore store;
    SimFaults faults;
    SimJournal journal;
    // What each operation does to the open document.
    SimReceipt receipt;

    int32_t openOptionA = 0, openOptionB = 0;
    int16_t comPort = 0;
    std::string comSettings;
    int16_t itemOptionA = 0, itemOptionB = 0;
    bool portOpen = false;
    bool inEvent = false;

    void trace(const std::string& line) { store.trace(line); }

    // The error event, fired inside the failing call. A failure met while the
    // owner is still handling an event raises none: the bridge's handler
    // itself calls the printer (it voids the receipt on a sequence error),
    // and a nested event could call it again without end.
    void raise(int16_t code)
    {
        if (!faults.eventsEnabled() || inEvent)
            return;
        trace(calltrace::event(simcode::EventLevel, code));
        if (!owner.onErrorEvent)
            return;
        struct Reset {
            bool& flag;
            ~Reset() { flag = false; }
        } reset{inEvent};
        inEvent = true;
        owner.onErrorEvent(simcode::EventLevel, code);
    }

    int16_t preflight(std::string_view name, bool usesPaper)
    {
        if (const int16_t injected = faults.codeFor(name))
            return injected;
        if (!portOpen)
            return simcode::PortClosed;
        if (faults.takePaperEnd())
            store.markPaperEnd();
        if (usesPaper && store.state().paperEnd)
            return simcode::PaperEnd;
        return simcode::Ok;
    }

    void refreshFaults()
    {
        faults.refresh();
        for (const std::string& notice : faults.takeNotices())
            trace("# " + notice);
    }

    // One printing call: checks, the operation itself, the trace line and,
    // on failure, the event; the state is settled before the event fires.
    template <typename Body>
    int16_t run(std::string_view name, const std::string& arguments, bool usesPaper, Body body)
    {
        refreshFaults();
        store.clearStorageProblem();
        int16_t code = preflight(name, usesPaper);
        if (code == simcode::Ok)
            code = apply(body());
        store.traceNotes();
        trace(calltrace::call(name, arguments, calltrace::value(code)));
        if (code != simcode::Ok)
            raise(code);
        return code;
    }

    // What the model answered, committed when it changes anything.
    int16_t apply(const SimReceipt::Step& step)
    {
        if (step.code != simcode::Ok || !step.next)
            return step.code;
        return store.commit(*step.next, step.printed);
    }
    // An operation on the store alone.
    static int16_t apply(int16_t code) { return code; }

    std::optional<std::string> openPort()
    {
        if (const auto& failure = faults.openPortFailure())
            return *failure;
        if (portOpen)
            return "Porta COM" + std::to_string(comPort) + " gia' aperta";
        if (comPort < 1)
            return "Porta COM non valida: " + std::to_string(comPort);
        if (!validSettings(comSettings))
            return "Parametri porta non validi: \"" + comSettings +
                   "\" (formato baud,parita,dati,stop, per esempio 9600,N,8,1)";
        if (const auto why = store.unusable())
            return "Stampante simulata non disponibile: " + *why;
        switch (store.lockPort()) {
        case FileLock::Result::Busy: return "Porta COM" + std::to_string(comPort) + " occupata da un altro programma";
        case FileLock::Result::Failed: return "Stampante simulata non disponibile: " + store.portLockProblem();
        case FileLock::Result::Locked: break;
        }
        // Another process may have printed since this one last held the port.
        store.recover();
        portOpen = true;
        return std::nullopt;
    }

    // The recovery clears a paper end asked for in guasti.ini as well, or
    // every new process would find the paper out again.
    SimReceipt::Step paperEndRecovery()
    {
        if (!faults.clearPaperEnd())
            trace("# guasti.ini: FineCarta non azzerata");
        return receipt.paperEndRecovery();
    }
};

SimulatedPrinter::SimulatedPrinter(const std::filesystem::path& programDir, Clock& clock)
    : m_impl(std::make_unique<Impl>(*this, programDir, &clock))
{}

SimulatedPrinter::SimulatedPrinter(const std::filesystem::path& programDir)
    : m_impl(std::make_unique<Impl>(*this, programDir, nullptr))
{}

SimulatedPrinter::~SimulatedPrinter() = default;

void SimulatedPrinter::setOpenOptionA(int32_t value)
{
    m_impl->openOptionA = value;
    m_impl->trace(calltrace::put("OpenOptionA", calltrace::value(value)));
}

void SimulatedPrinter::setOpenOptionB(int32_t value)
{
    m_impl->openOptionB = value;
    m_impl->trace(calltrace::put("OpenOptionB", calltrace::value(value)));
}

void SimulatedPrinter::setComPort(int16_t port)
{
    m_impl->comPort = port;
    m_impl->trace(calltrace::put("ComPort", calltrace::value(port)));
}

void SimulatedPrinter::setComSettings(const std::string& settings)
{
    m_impl->comSettings = settings;
    m_impl->trace(calltrace::put("ComSettings", calltrace::value(settings)));
}

void SimulatedPrinter::setItemOptionA(int16_t value)
{
    m_impl->itemOptionA = value;
    m_impl->trace(calltrace::put("ItemOptionA", calltrace::value(value)));
}

void SimulatedPrinter::setItemOptionB(int16_t value)
{
    m_impl->itemOptionB = value;
    m_impl->trace(calltrace::put("ItemOptionB", calltrace::value(value)));
}

void SimulatedPrinter::OpenPort()
{
    m_impl->refreshFaults();
    if (const auto failure = m_impl->openPort()) {
        m_impl->trace(calltrace::failure("OpenPort", "", *failure));
        throw ControlFailure(*failure);
    }
    m_impl->trace(calltrace::call("OpenPort", ""));
}

void SimulatedPrinter::ClosePort()
{
    // A document still gathered is written before the port is let go.
    m_impl->store.endDocument();
    m_impl->store.unlockPort();
    m_impl->portOpen = false;
    m_impl->trace(calltrace::call("ClosePort", ""));
}

bool SimulatedPrinter::PortIsOpen()
{
    const bool open = m_impl->portOpen;
    m_impl->trace(calltrace::call("PortIsOpen", "", calltrace::value(open)));
    return open;
}

bool SimulatedPrinter::Busy()
{
    m_impl->refreshFaults();
    const bool busy = m_impl->faults.takeBusyRead();
    m_impl->trace(calltrace::get("Busy", calltrace::value(busy)));
    return busy;
}

OpenDocument SimulatedPrinter::DocumentOpen()
{
    OpenDocument open = OpenDocument::None;
    switch (m_impl->store.state().receipt) {
    case SimState::Receipt::None:
        break;
    case SimState::Receipt::Fiscal:
    case SimState::Receipt::Payment:
        open = OpenDocument::Fiscal;
        break;
    case SimState::Receipt::NonFiscal:
        open = OpenDocument::NonFiscal;
        break;
    }
    m_impl->trace(calltrace::get("DocumentOpen", openDocumentName(open)));
    return open;
}

int16_t SimulatedPrinter::SellDept(int16_t idOp, const std::string& text, Currency price, int16_t dept)
{
    return m_impl->run("SellDept", args(idOp, text, price, dept), true,
                       [&] { return m_impl->receipt.item(false, text, std::nullopt, price, dept); });
}

int16_t SimulatedPrinter::SellDeptQty(int16_t idOp, const std::string& text, float quantity, Currency price,
                                      int16_t dept)
{
    return m_impl->run("SellDeptQty", args(idOp, text, quantity, price, dept), true,
                       [&] { return m_impl->receipt.item(false, text, quantity, price, dept); });
}

int16_t SimulatedPrinter::ReturnDept(int16_t idOp, const std::string& text, Currency price, int16_t dept)
{
    return m_impl->run("ReturnDept", args(idOp, text, price, dept), true,
                       [&] { return m_impl->receipt.item(true, text, std::nullopt, price, dept); });
}

int16_t SimulatedPrinter::ReturnDeptQty(int16_t idOp, const std::string& text, float quantity, Currency price,
                                        int16_t dept)
{
    return m_impl->run("ReturnDeptQty", args(idOp, text, quantity, price, dept), true,
                       [&] { return m_impl->receipt.item(true, text, quantity, price, dept); });
}

int16_t SimulatedPrinter::ReturnDeptAmount(int16_t idOp, const std::string& text, Currency amount, int16_t dept)
{
    return m_impl->run("ReturnDeptAmount", args(idOp, text, amount, dept), true,
                       [&] { return m_impl->receipt.item(true, text, std::nullopt, amount, dept); });
}

int16_t SimulatedPrinter::AddDescription(int16_t idOp, const std::string& text)
{
    return m_impl->run("AddDescription", args(idOp, text), true, [&] { return m_impl->receipt.line(text, std::nullopt); });
}

int16_t SimulatedPrinter::ExtraLine(int16_t idOp, int16_t line, const std::string& text)
{
    return m_impl->run("ExtraLine", args(idOp, line, text), true, [&] { return m_impl->receipt.line(text, line); });
}

int16_t SimulatedPrinter::Subtotal(int16_t value)
{
    return m_impl->run("Subtotal", args(value), true, [&] { return m_impl->receipt.subtotal(); });
}

int16_t SimulatedPrinter::SubtotalDiscount(int16_t idOp, Currency amount)
{
    return m_impl->run("SubtotalDiscount", args(idOp, amount), true, [&] { return m_impl->receipt.discount(amount); });
}

int16_t SimulatedPrinter::CancelReceipt(int16_t value)
{
    // Voiding prints; with no receipt open there is nothing to print or void.
    const bool usesPaper = m_impl->receipt.rules().fiscalOpen();
    return m_impl->run("CancelReceipt", args(value), usesPaper, [&] { return m_impl->receipt.cancel(); });
}

int16_t SimulatedPrinter::PayCash(int16_t idOp, Currency amount)
{
    return m_impl->run("PayCash", args(idOp, amount), true,
                       [&] { return m_impl->receipt.pay(SimState::Cash, SimReceipt::paymentLabel(SimState::Cash), amount); });
}

int16_t SimulatedPrinter::PayCheque(int16_t idOp, Currency amount)
{
    return m_impl->run("PayCheque", args(idOp, amount), true,
                       [&] { return m_impl->receipt.pay(SimState::Cheque, SimReceipt::paymentLabel(SimState::Cheque), amount); });
}

int16_t SimulatedPrinter::PayCard(int16_t idOp, int16_t value)
{
    return m_impl->run("PayCard", args(idOp, value), true,
                       [&] { return m_impl->receipt.pay(SimState::Card, SimReceipt::paymentLabel(SimState::Card), std::nullopt); });
}

int16_t SimulatedPrinter::PayTicket(int16_t idOp, int16_t value, Currency amount)
{
    return m_impl->run("PayTicket", args(idOp, value, amount), true,
                       [&] { return m_impl->receipt.pay(SimState::Ticket, SimReceipt::paymentLabel(SimState::Ticket), amount); });
}

int16_t SimulatedPrinter::PayTender(int16_t idOp, const std::string& text, Currency amount, int32_t type, int16_t flag,
                                    int16_t index)
{
    return m_impl->run("PayTender", args(idOp, text, amount, type, flag, index), true,
                       [&] { return m_impl->receipt.pay(SimReceipt::tenderKind(type), simjournal::printable(text), amount); });
}

int16_t SimulatedPrinter::OpenNonFiscal(int16_t idOp)
{
    return m_impl->run("OpenNonFiscal", args(idOp), true, [&] { return m_impl->receipt.openNonFiscal(); });
}

int16_t SimulatedPrinter::NonFiscalLine(int16_t idOp, int16_t value, const std::string& text)
{
    return m_impl->run("NonFiscalLine", args(idOp, value, text), true, [&] { return m_impl->receipt.nonFiscalLine(text); });
}

int16_t SimulatedPrinter::CloseNonFiscal(int16_t idOp)
{
    return m_impl->run("CloseNonFiscal", args(idOp), true, [&] { return m_impl->receipt.closeNonFiscal(); });
}

int16_t SimulatedPrinter::DisplayText(int16_t idOp, const std::string& text)
{
    return m_impl->run("DisplayText", args(idOp, text), false, [&] { return m_impl->store.display(text); });
}

int16_t SimulatedPrinter::OpenCmd(int16_t idOp)
{
    return m_impl->run("OpenCmd", args(idOp), false, [&] { return m_impl->receipt.openDrawer(); });
}

int16_t SimulatedPrinter::AmountEntry(int16_t idOp, Currency amount)
{
    return m_impl->run("AmountEntry", args(idOp, amount), true, [&] { return m_impl->receipt.amountEntry(amount); });
}

int16_t SimulatedPrinter::FiscalClosure(int16_t idOp)
{
    return m_impl->run("FiscalClosure", args(idOp), true, [&] { return m_impl->receipt.closure(false); });
}

int16_t SimulatedPrinter::FiscalClosureAlt(int16_t idOp)
{
    return m_impl->run("FiscalClosureAlt", args(idOp), true, [&] { return m_impl->receipt.closure(true); });
}

int16_t SimulatedPrinter::PaperEndRecovery(int16_t value)
{
    return m_impl->run("PaperEndRecovery", args(value), false, [&] { return m_impl->paperEndRecovery(); });
}

std::string SimulatedPrinter::ErrorText(int16_t level, int32_t code)
{
    std::string text = simcode::text(code);
    if (code == simcode::StorageFailure && m_impl->store.storageProblem())
        text += " (" + *m_impl->store.storageProblem() + ")";
    m_impl->trace(calltrace::call("ErrorText", args(level, code), calltrace::value(text)));
    return text;
}

bool SimulatedPrinter::takeLostReply()
{
    m_impl->refreshFaults();
    const bool lost = m_impl->faults.takeLostReply();
    if (lost)
        m_impl->trace("# guasti.ini: risposta persa (PerdiRisposta)");
    return lost;
}

void SimulatedPrinter::beginDocument()
{
    m_impl->store.beginDocument();
}

int16_t SimulatedPrinter::endDocument()
{
    return m_impl->store.endDocument();
}

const ReceiptRules::Terms& SimulatedPrinter::receiptTerms()
{
    return SimReceipt::terms();
}

const SimState& SimulatedPrinter::currentState() const
{
    return m_impl->store.state();
}
