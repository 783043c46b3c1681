// SPDX-License-Identifier: MIT
#include "simulator/SimulatedPrinter.h"

#include "config/Text.h"
#include "core/Clock.h"
#include "core/FileAccess.h"
#include "core/UniqueFd.h"
#include "simulator/CallTrace.h"
#include "simulator/FileLock.h"
#include "simulator/SimCodes.h"
#include "simulator/SimFaults.h"
#include "simulator/SimJournal.h"
#include "simulator/SimState.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
namespace jr = simjournal;
using calltrace::args;
using Receipt = SimState::Receipt;

namespace {

constexpr int DisplayWidth = 20;
constexpr Currency Zero;

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

// The quantity as the printer takes it: the decimal the single was written
// from, to three decimals (calltrace::value rounds it so), as the trace and
// the roll show it. An infinity is no quantity at all, refused as invalid.
std::optional<int64_t> writtenThousandths(float quantity)
{
    if (std::isinf(quantity))
        return 0;
    const auto read = Currency::parse(calltrace::value(quantity));
    if (!read)
        return std::nullopt;
    return read->units() / (Currency::Scale / 1000);
}

// "0,335", "2": the quantity as taken, without trailing zeros.
QString quantityText(int64_t thousandths)
{
    std::string t = Currency::fromUnits(thousandths * (Currency::Scale / 1000)).toString();
    while (t.back() == '0')
        t.pop_back();
    if (t.back() == '.')
        t.pop_back();
    return QString::fromStdString(t).replace(QLatin1Char('.'), QLatin1Char(','));
}

const char* paymentLabel(SimState::Payment kind)
{
    switch (kind) {
    case SimState::Cash: return "CONTANTI";
    case SimState::Cheque: return "ASSEGNO";
    case SimState::Card: return "CARTA DI CREDITO";
    case SimState::Ticket: return "TICKET";
    default: return "ALTRO PAGAMENTO";
    }
}

SimState::Payment tenderKind(int32_t type)
{
    switch (type) {
    case 0: return SimState::Cash;
    case 1: return SimState::Cheque;
    case 2: return SimState::Card;
    case 3: return SimState::Ticket;
    default: return SimState::Other;
    }
}

void addTotals(SimState::Totals& into, const SimState::Totals& from)
{
    into.sales += from.sales;
    into.returns += from.returns;
    into.discounts += from.discounts;
    for (size_t k = 0; k < into.payments.size(); ++k)
        into.payments[k] += from.payments[k];
    for (const auto& [dept, amount] : from.departments)
        into.departments[dept] += amount;
}

// The simulator's own files: a link or a folder in the place of any of
// them keeps the port closed until it is gone.
constexpr const char* StateFile = "stato.ini";
constexpr const char* JournalFile = "giornale.txt";
constexpr const char* TraceFile = "chiamate.log";
constexpr const char* DisplayFile = "visore.txt";
constexpr const char* PortLockFile = "porta.lock";
constexpr const char* WriteLockFile = "scrittura.lock";
constexpr const char* OwnFiles[] = {StateFile, JournalFile, TraceFile, DisplayFile, PortLockFile, WriteLockFile};

// The simulator's folder in the program folder, made when missing. A link in
// its place is followed only when the installer made it (root or this
// user), so the roll may live on another disk; no other link is.
Folder simulatorFolder(const fs::path& programDir)
{
    std::error_code ec;
    fs::create_directories(programDir, ec);
    return Folder::open(programDir).folder("Simulatore", Links::FollowTrusted, Folder::Make::IfMissing);
}

} // namespace

struct SimulatedPrinter::Impl {
    Impl(SimulatedPrinter& owner, const fs::path& programDir)
        : owner(owner), dir(programDir / "Simulatore"), sim(simulatorFolder(programDir)), portLock(sim, PortLockFile),
          writeLock(sim, WriteLockFile), faults(sim, "guasti.ini", clock)
    {
        recover();
    }

    SimulatedPrinter& owner;
    // For texts only: every file is reached through `sim`.
    fs::path dir;
    // Held open from here on: a link put in the folder's place later leads
    // nowhere.
    Folder sim;
    // Held while the port is open: the port is one per folder, like a serial port.
    FileLock portLock;
    // Held around every write, so two processes never write these files at once.
    FileLock writeLock;
    SystemClock clock;
    SimFaults faults;
    SimState state;

    int32_t openOptionA = 0, openOptionB = 0;
    int16_t comPort = 0;
    std::string comSettings;
    int16_t itemOptionA = 0, itemOptionB = 0;
    bool portOpen = false;
    bool inEvent = false;
    // A document taken whole (beginDocument): the state it started from
    // and what its calls printed so far; `state` runs ahead in memory.
    std::optional<SimState> documentStart;
    std::string documentPrinted;

    // Why the printer cannot be used as its folder stands (the folder or one
    // of its files is a link, a folder or a special file); nullopt when it can.
    std::optional<std::string> unusable() const
    {
        if (!sim) {
            if (sim.error() == ELOOP)
                return std::string(LinkedFolderText) + "Simulatore";
            return "impossibile usare " + dir.string() + " (" + accessError(sim.error()) + ")";
        }
        // Every one of them, so that one record names them all.
        std::string problems;
        for (const char* name : OwnFiles) {
            if (const int why = sim.notAFile(name))
                problems += std::string(problems.empty() ? "" : "; ") + "impossibile usare " + (dir / name).string() +
                            " (" + accessError(why) + ")";
        }
        if (problems.empty())
            return std::nullopt;
        return problems;
    }

    bool append(const char* name, const std::string& bytes)
    {
        ScopedFileLock guard(writeLock);
        return sim.append(name, bytes, false);
    }

    bool replace(const char* name, const std::string& bytes)
    {
        ScopedFileLock guard(writeLock);
        if (const int why = sim.notAFile(name)) {
            errno = why;
            return false;
        }
        return sim.replace(name, bytes);
    }

    bool saveState(const SimState& next)
    {
        ScopedFileLock guard(writeLock);
        return next.save(sim, StateFile);
    }

    void trace(const std::string& line) { append(TraceFile, line + "\n"); }

    // Reads the state and brings roll and state into agreement: a roll that
    // stops short of what the state accounts for (a process killed between
    // the two writes) gets the rest of the last print. A state that does not
    // read is kept aside as stato.ini.guasto and the printer starts afresh.
    // Holds the write lock, so it never sees another process half-way.
    // Touches nothing while the folder is unusable (openPort says why).
    void recover()
    {
        if (unusable())
            return;
        {
            ScopedFileLock guard(writeLock);
            SimState loaded;
            const SimState::Loaded how = SimState::load(sim, StateFile, loaded);
            if (how == SimState::Loaded::Refused)
                return;
            if (how == SimState::Loaded::Corrupt) {
                const char* aside = "stato.ini.guasto";
                const bool keptAside = sim.rename(StateFile, sim, aside) && sim.sync();
                const std::string why = keptAside ? std::string() : accessError(errno);
                notes.push_back(std::string("stato.ini illeggibile: conservato come ") + aside +
                                (keptAside ? std::string() : " (non riuscito: " + why + ")") +
                                "; contatori ripartiti da zero");
                std::cerr << "tessiro: simulated printer: " << (dir / StateFile).string()
                          << " is corrupt; kept aside as " << (dir / aside).string()
                          << ", counters start again from zero\n";
                loaded = {};
            }
            const long long accounted = loaded.journalLength;
            repairJournal(loaded);
            // A roll taken as it is stays so: the next process is not told again.
            if (how == SimState::Loaded::Read && accounted >= 0 && loaded.journalLength != accounted)
                loaded.save(sim, StateFile);
            state = loaded;
        }
        traceNotes();
    }

    // Notes taken while the write lock was held, traced once it is not
    // (the trace takes the lock itself).
    std::vector<std::string> notes;
    void traceNotes()
    {
        for (const std::string& note : std::exchange(notes, {}))
            trace("# " + note);
    }

    // Length of the roll, 0 when it is not there yet; -1 when unusable.
    long long journalSize() const
    {
        const auto st = sim.statAt(JournalFile);
        if (!st)
            return errno == ENOENT ? 0 : -1;
        return S_ISREG(st->st_mode) ? static_cast<long long>(st->st_size) : -1;
    }

    // The roll, open for writing at given offsets; made when missing.
    UniqueFd openJournal() const { return sim.openFile(JournalFile, O_WRONLY | O_CREAT); }

    void repairJournal(SimState& s)
    {
        const long long length = journalSize();
        if (length < 0)
            return;
        if (s.journalLength < 0 || length == s.journalLength) {
            s.journalLength = length;
            return;
        }
        const long long start = s.journalLength - static_cast<long long>(s.lastPrinted.size());
        if (length > s.journalLength || length < start) {
            // Not a print cut short: a roll edited or replaced by hand. The
            // roll is taken as it is from here on.
            notes.push_back("giornale.txt di " + std::to_string(length) + " byte, lo stato ne conta " +
                            std::to_string(s.journalLength) + ": si prosegue dal giornale com'e'");
            s.journalLength = length;
            return;
        }
        const UniqueFd fd = openJournal();
        const std::string rest = s.lastPrinted.substr(size_t(length - start));
        if (fd.get() < 0 || !writeAll(fd.get(), rest, off_t(length))) {
            notes.push_back("giornale.txt non completato: " + accessError(errno));
            return; // tried again at the next print
        }
        notes.push_back("giornale.txt completato con " + std::to_string(rest.size()) +
                        " byte dell'ultima stampa, interrotta");
    }

    // What stood in the place of a file the last call could not write, for
    // its error text: "giornale.txt: symbolic link, not followed".
    std::optional<std::string> storageProblem;

    // The call's answer when `name` could not be written; errno says why.
    int16_t storageFailure(const char* name)
    {
        if (errno == ELOOP || errno == EISDIR || errno == EINVAL)
            storageProblem = std::string(name) + ": " + accessError(errno);
        return simcode::StorageFailure;
    }

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
        if (faults.takePaperEnd() && !state.paperEnd) {
            SimState next = state;
            next.paperEnd = true;
            if (!documentStart)
                saveState(next);
            state = next;
        }
        if (usesPaper && state.paperEnd)
            return simcode::PaperEnd;
        return simcode::Ok;
    }

    // One printing call: checks, the operation itself, the trace line and,
    // on failure, the event; the state is settled before the event fires.
    void refreshFaults()
    {
        faults.refresh();
        for (const std::string& notice : faults.takeNotices())
            trace("# " + notice);
    }

    template <typename Body>
    int16_t run(std::string_view name, const std::string& arguments, bool usesPaper, Body body)
    {
        refreshFaults();
        storageProblem.reset();
        int16_t code = preflight(name, usesPaper);
        if (code == simcode::Ok)
            code = body();
        traceNotes();
        trace(calltrace::call(name, arguments, calltrace::value(code)));
        if (code != simcode::Ok)
            raise(code);
        return code;
    }

    // One commit for roll and counters. Room for the text is reserved on
    // the roll first; then the state is saved with the roll length it
    // accounts for and the text (write ahead); then the text goes on the
    // roll. A refusal before the state is saved changes nothing; a kill
    // after it is completed at the next start (recover), so nothing counted
    // is missing from the paper and nothing on the paper is unknown.
    int16_t commit(SimState next, const std::string& printed)
    {
        if (documentStart) {
            next.journalLength = state.journalLength;
            next.lastPrinted = state.lastPrinted;
            state = next;
            documentPrinted += printed;
            return simcode::Ok;
        }
        ScopedFileLock guard(writeLock);
        if (printed.empty()) {
            next.journalLength = state.journalLength;
            next.lastPrinted = state.lastPrinted;
            if (next == state)
                return simcode::Ok;
            if (!next.save(sim, StateFile))
                return storageFailure(StateFile);
            state = next;
            return simcode::Ok;
        }
        const UniqueFd fd = openJournal();
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
            return storageFailure(JournalFile);
        const off_t length = st.st_size;
        if (state.journalLength >= 0 && length != state.journalLength) {
            // Completes a print a killed process left short.
            repairJournal(state);
            if (journalSize() != state.journalLength)
                return simcode::StorageFailure;
            return commitAt(next, printed, fd.get(), off_t(state.journalLength));
        }
        return commitAt(next, printed, fd.get(), length);
    }

    int16_t commitAt(SimState next, const std::string& printed, int fd, off_t length)
    {
        const off_t size = off_t(printed.size());
        if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, length, size) != 0 && errno != EOPNOTSUPP && errno != ENOSYS)
            return simcode::StorageFailure;
        next.journalLength = length + size;
        next.lastPrinted = printed;
        if (!next.save(sim, StateFile)) {
            const int16_t failure = storageFailure(StateFile);
            // Gives back the reserved room; if even that fails, the room
            // stays reserved past the end the state accounts for: harmless.
            [[maybe_unused]] const int released = ::ftruncate(fd, length);
            return failure;
        }
        if (owner.betweenStateAndRoll)
            owner.betweenStateAndRoll();
        if (!writeAll(fd, printed, length)) {
            // Undone if it can be; otherwise the saved state stands and the
            // next start prints the rest.
            if (::ftruncate(fd, length) == 0 && state.save(sim, StateFile))
                return simcode::StorageFailure;
            state = next;
            return simcode::StorageFailure;
        }
        state = next;
        return simcode::Ok;
    }

    // The document's one commit: from the state it started from to the
    // state its calls left, with all they printed.
    int16_t endDocument()
    {
        if (!documentStart)
            return simcode::Ok;
        const SimState done = state;
        state = *std::exchange(documentStart, std::nullopt);
        const int16_t code = commit(done, std::exchange(documentPrinted, {}));
        if (code != simcode::Ok)
            trace("# documento non scritto: giornale o stato.ini rifiutano la scrittura");
        return code;
    }

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
        if (const auto why = unusable())
            return "Stampante simulata non disponibile: " + *why;
        switch (portLock.tryLock()) {
        case FileLock::Result::Busy: return "Porta COM" + std::to_string(comPort) + " occupata da un altro programma";
        case FileLock::Result::Failed:
            return "Stampante simulata non disponibile: impossibile usare " + (dir / PortLockFile).string() + " (" +
                   portLock.failureText() + ")";
        case FileLock::Result::Locked: break;
        }
        // Another process may have printed since this one last held the port.
        recover();
        portOpen = true;
        return std::nullopt;
    }

    // The receipt's rules, on the receipt the state holds.
    ReceiptRules receiptRules() const
    {
        return ReceiptRules(receiptTerms(), state.receipt, state.current.net(), state.paid(), state.itemLines);
    }

    // The state after an operation the rules accepted: the document and its
    // lines as they left them.
    SimState after(const ReceiptRules& rules) const
    {
        SimState next = state;
        next.receipt = rules.document();
        next.itemLines = rules.itemLines();
        return next;
    }

    // A fiscal receipt the first line opened: its number, and the header it prints.
    static std::string openFiscal(SimState& next)
    {
        next.receiptNumber = ++next.lastReceipt;
        next.current = {};
        return jr::header();
    }

    int16_t item(bool isReturn, const std::string& text, std::optional<float> quantity, Currency price, int16_t dept)
    {
        ReceiptRules rules = receiptRules();
        const ReceiptRules::Item line = rules.item(isReturn, quantity, price, dept);
        if (line.code != simcode::Ok)
            return line.code;

        SimState next = after(rules);
        std::string printed = state.receipt == Receipt::None ? openFiscal(next) : std::string();
        if (isReturn) {
            next.current.returns += line.amount;
            next.current.departments[dept] -= line.amount;
        } else {
            next.current.sales += line.amount;
            next.current.departments[dept] += line.amount;
        }
        if (quantity)
            printed += jr::text(QStringLiteral("  ") + quantityText(line.thousandths) + QStringLiteral(" x ") +
                                jr::amount(price));
        const QString label = jr::printable(text);
        printed += isReturn ? jr::item(QStringLiteral("RESO ") + label, -line.amount) : jr::item(label, line.amount);
        return commit(next, printed);
    }

    // A description or extra line on an idle printer opens nothing: a
    // printer only takes it inside a receipt.
    int16_t line(const std::string& text, std::optional<int16_t> extraLine)
    {
        ReceiptRules rules = receiptRules();
        if (const int16_t code = extraLine ? rules.extraLine(*extraLine) : rules.description())
            return code;
        return commit(after(rules), jr::text(jr::printable(text)));
    }

    int16_t subtotal()
    {
        ReceiptRules rules = receiptRules();
        if (const int16_t code = rules.subtotal())
            return code;
        return commit(after(rules), jr::item(QStringLiteral("SUBTOTALE"), state.current.net()));
    }

    int16_t discount(Currency amount)
    {
        ReceiptRules rules = receiptRules();
        const ReceiptRules::Discount discount = rules.discount(amount);
        // A record with no discount to give is accepted and prints nothing.
        if (discount.code != simcode::Ok || discount.amount == Zero)
            return discount.code;
        SimState next = after(rules);
        next.current.discounts += discount.amount;
        return commit(next, jr::item(QStringLiteral("SCONTO SUBTOTALE"), -discount.amount));
    }

    int16_t cancel()
    {
        ReceiptRules rules = receiptRules();
        if (!rules.cancel())
            return simcode::Ok; // nothing to void
        SimState next = after(rules);
        ++next.voided;
        next.current = {};
        const std::string printed = jr::rule() + jr::centered(QStringLiteral("*** SCONTRINO ANNULLATO ***")) +
                                    jr::numbered(QStringLiteral("SCONTRINO"), state.receiptNumber) + "\n";
        return commit(next, printed);
    }

    // `amount` empty or zero pays what is due; only cash gives change.
    int16_t pay(SimState::Payment kind, const QString& label, std::optional<Currency> amount)
    {
        ReceiptRules rules = receiptRules();
        const ReceiptRules::Payment payment = rules.pay(amount, kind == SimState::Cash);
        if (payment.code != simcode::Ok)
            return payment.code;

        SimState next = after(rules);
        std::string printed;
        if (state.receipt == Receipt::Fiscal)
            printed += jr::rule() + jr::item(QStringLiteral("TOTALE EURO"), state.current.net());
        next.current.payments[kind] += payment.paid;
        printed += jr::item(label.trimmed().isEmpty() ? QString::fromLatin1(paymentLabel(kind)) : label.trimmed(),
                            payment.paid);
        if (payment.closes) {
            if (payment.change > Zero) {
                next.current.payments[SimState::Cash] -= payment.change;
                printed += jr::item(QStringLiteral("RESTO"), payment.change);
            }
            ++next.receipts;
            addTotals(next.day, next.current);
            next.grandTotal += next.current.net();
            next.current = {};
            printed += jr::rule() + jr::numbered(QStringLiteral("SCONTRINO"), state.receiptNumber) + "\n";
        }
        return commit(next, printed);
    }

    int16_t openNonFiscal()
    {
        ReceiptRules rules = receiptRules();
        if (const int16_t code = rules.openNonFiscal())
            return code;
        SimState next = after(rules);
        next.receiptNumber = ++next.lastNonFiscal;
        next.current = {};
        return commit(next, jr::header() + jr::centered(QStringLiteral("DOCUMENTO NON FISCALE")));
    }

    int16_t nonFiscalLine(const std::string& text)
    {
        if (const int16_t code = receiptRules().nonFiscalLine())
            return code;
        return commit(state, jr::text(jr::printable(text)));
    }

    int16_t closeNonFiscal()
    {
        ReceiptRules rules = receiptRules();
        if (const int16_t code = rules.closeNonFiscal())
            return code;
        return commit(after(rules), jr::rule() + jr::numbered(QStringLiteral("NON FISCALE"), state.receiptNumber) + "\n");
    }

    int16_t amountEntry(Currency amount)
    {
        if (const int16_t code = receiptRules().amountEntry(amount))
            return code;
        SimState next = state;
        next.amountEntries += amount;
        return commit(next, jr::item(QStringLiteral("IMPORTO"), amount));
    }

    int16_t display(const std::string& text)
    {
        const QString shown = jr::printable(text);
        auto row = [&](int k) {
            const QString part = shown.mid(k * DisplayWidth, DisplayWidth);
            return (part + QString(DisplayWidth - part.size(), QLatin1Char(' '))).toStdString() + "\n";
        };
        return replace(DisplayFile, row(0) + row(1)) ? simcode::Ok : storageFailure(DisplayFile);
    }

    int16_t openDrawer()
    {
        SimState next = state;
        ++next.drawerOpenings;
        return commit(next, {});
    }

    int16_t closure(bool withDepartments)
    {
        if (const int16_t code = receiptRules().closure())
            return code;
        const SimState& s = state;
        auto count = [](int n) { return QString::number(n); };
        std::string printed = jr::rule('=');
        printed += jr::centered(withDepartments ? QStringLiteral("CHIUSURA FISCALE CON REPARTI")
                                                : QStringLiteral("CHIUSURA FISCALE"));
        printed += jr::rule();
        printed += jr::item(QStringLiteral("SCONTRINI FISCALI"), count(s.receipts));
        printed += jr::item(QStringLiteral("SCONTRINI ANNULLATI"), count(s.voided));
        printed += jr::item(QStringLiteral("DOCUMENTI NON FISCALI"), count(s.lastNonFiscal));
        printed += jr::item(QStringLiteral("APERTURE CASSETTO"), count(s.drawerOpenings));
        printed += jr::rule();
        printed += jr::item(QStringLiteral("VENDITE"), s.day.sales);
        printed += jr::item(QStringLiteral("RESI"), -s.day.returns);
        printed += jr::item(QStringLiteral("SCONTI"), -s.day.discounts);
        printed += jr::item(QStringLiteral("TOTALE GIORNO"), s.day.net());
        printed += jr::rule();
        printed += jr::item(QStringLiteral("CONTANTI"), s.day.payments[SimState::Cash]);
        printed += jr::item(QStringLiteral("ASSEGNI"), s.day.payments[SimState::Cheque]);
        printed += jr::item(QStringLiteral("CARTE DI CREDITO"), s.day.payments[SimState::Card]);
        printed += jr::item(QStringLiteral("TICKET"), s.day.payments[SimState::Ticket]);
        printed += jr::item(QStringLiteral("ALTRI PAGAMENTI"), s.day.payments[SimState::Other]);
        printed += jr::item(QStringLiteral("IMPORTI NON FISCALI"), s.amountEntries);
        if (withDepartments) {
            printed += jr::rule();
            for (const auto& [dept, amount] : s.day.departments)
                printed += jr::item(QStringLiteral("REPARTO %1").arg(dept, 2, 10, QLatin1Char('0')), amount);
        }
        printed += jr::rule();
        printed += jr::item(QStringLiteral("GRAN TOTALE"), s.grandTotal);
        printed += jr::numbered(QStringLiteral("CHIUSURA"), s.closures + 1) + "\n";

        SimState next;
        next.closures = s.closures + 1;
        next.grandTotal = s.grandTotal;
        next.paperEnd = s.paperEnd;
        return commit(next, printed);
    }

    // The recovery clears a paper end asked for in guasti.ini as well, or
    // every new process would find the paper out again.
    int16_t paperEndRecovery()
    {
        if (!faults.clearPaperEnd())
            trace("# guasti.ini: FineCarta non azzerata");
        if (!state.paperEnd)
            return simcode::Ok;
        SimState next = state;
        next.paperEnd = false;
        return commit(next, jr::centered(QStringLiteral("--- RIPRESA DA FINE CARTA ---")));
    }
};

SimulatedPrinter::SimulatedPrinter(const std::filesystem::path& programDir)
    : m_impl(std::make_unique<Impl>(*this, programDir))
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
    m_impl->endDocument();
    m_impl->portLock.unlock();
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
    switch (m_impl->state.receipt) {
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
                       [&] { return m_impl->item(false, text, std::nullopt, price, dept); });
}

int16_t SimulatedPrinter::SellDeptQty(int16_t idOp, const std::string& text, float quantity, Currency price,
                                      int16_t dept)
{
    return m_impl->run("SellDeptQty", args(idOp, text, quantity, price, dept), true,
                       [&] { return m_impl->item(false, text, quantity, price, dept); });
}

int16_t SimulatedPrinter::ReturnDept(int16_t idOp, const std::string& text, Currency price, int16_t dept)
{
    return m_impl->run("ReturnDept", args(idOp, text, price, dept), true,
                       [&] { return m_impl->item(true, text, std::nullopt, price, dept); });
}

int16_t SimulatedPrinter::ReturnDeptQty(int16_t idOp, const std::string& text, float quantity, Currency price,
                                        int16_t dept)
{
    return m_impl->run("ReturnDeptQty", args(idOp, text, quantity, price, dept), true,
                       [&] { return m_impl->item(true, text, quantity, price, dept); });
}

int16_t SimulatedPrinter::ReturnDeptAmount(int16_t idOp, const std::string& text, Currency amount, int16_t dept)
{
    return m_impl->run("ReturnDeptAmount", args(idOp, text, amount, dept), true,
                       [&] { return m_impl->item(true, text, std::nullopt, amount, dept); });
}

int16_t SimulatedPrinter::AddDescription(int16_t idOp, const std::string& text)
{
    return m_impl->run("AddDescription", args(idOp, text), true, [&] { return m_impl->line(text, std::nullopt); });
}

int16_t SimulatedPrinter::ExtraLine(int16_t idOp, int16_t line, const std::string& text)
{
    return m_impl->run("ExtraLine", args(idOp, line, text), true, [&] { return m_impl->line(text, line); });
}

int16_t SimulatedPrinter::Subtotal(int16_t value)
{
    return m_impl->run("Subtotal", args(value), true, [&] { return m_impl->subtotal(); });
}

int16_t SimulatedPrinter::SubtotalDiscount(int16_t idOp, Currency amount)
{
    return m_impl->run("SubtotalDiscount", args(idOp, amount), true, [&] { return m_impl->discount(amount); });
}

int16_t SimulatedPrinter::CancelReceipt(int16_t value)
{
    // Voiding prints; with no receipt open there is nothing to print or void.
    const bool usesPaper = m_impl->receiptRules().fiscalOpen();
    return m_impl->run("CancelReceipt", args(value), usesPaper, [&] { return m_impl->cancel(); });
}

int16_t SimulatedPrinter::PayCash(int16_t idOp, Currency amount)
{
    return m_impl->run("PayCash", args(idOp, amount), true,
                       [&] { return m_impl->pay(SimState::Cash, paymentLabel(SimState::Cash), amount); });
}

int16_t SimulatedPrinter::PayCheque(int16_t idOp, Currency amount)
{
    return m_impl->run("PayCheque", args(idOp, amount), true,
                       [&] { return m_impl->pay(SimState::Cheque, paymentLabel(SimState::Cheque), amount); });
}

int16_t SimulatedPrinter::PayCard(int16_t idOp, int16_t value)
{
    return m_impl->run("PayCard", args(idOp, value), true,
                       [&] { return m_impl->pay(SimState::Card, paymentLabel(SimState::Card), std::nullopt); });
}

int16_t SimulatedPrinter::PayTicket(int16_t idOp, int16_t value, Currency amount)
{
    return m_impl->run("PayTicket", args(idOp, value, amount), true,
                       [&] { return m_impl->pay(SimState::Ticket, paymentLabel(SimState::Ticket), amount); });
}

int16_t SimulatedPrinter::PayTender(int16_t idOp, const std::string& text, Currency amount, int32_t type, int16_t flag,
                                    int16_t index)
{
    return m_impl->run("PayTender", args(idOp, text, amount, type, flag, index), true,
                       [&] { return m_impl->pay(tenderKind(type), jr::printable(text), amount); });
}

int16_t SimulatedPrinter::OpenNonFiscal(int16_t idOp)
{
    return m_impl->run("OpenNonFiscal", args(idOp), true, [&] { return m_impl->openNonFiscal(); });
}

int16_t SimulatedPrinter::NonFiscalLine(int16_t idOp, int16_t value, const std::string& text)
{
    return m_impl->run("NonFiscalLine", args(idOp, value, text), true, [&] { return m_impl->nonFiscalLine(text); });
}

int16_t SimulatedPrinter::CloseNonFiscal(int16_t idOp)
{
    return m_impl->run("CloseNonFiscal", args(idOp), true, [&] { return m_impl->closeNonFiscal(); });
}

int16_t SimulatedPrinter::DisplayText(int16_t idOp, const std::string& text)
{
    return m_impl->run("DisplayText", args(idOp, text), false, [&] { return m_impl->display(text); });
}

int16_t SimulatedPrinter::OpenCmd(int16_t idOp)
{
    return m_impl->run("OpenCmd", args(idOp), false, [&] { return m_impl->openDrawer(); });
}

int16_t SimulatedPrinter::AmountEntry(int16_t idOp, Currency amount)
{
    return m_impl->run("AmountEntry", args(idOp, amount), true, [&] { return m_impl->amountEntry(amount); });
}

int16_t SimulatedPrinter::FiscalClosure(int16_t idOp)
{
    return m_impl->run("FiscalClosure", args(idOp), true, [&] { return m_impl->closure(false); });
}

int16_t SimulatedPrinter::FiscalClosureAlt(int16_t idOp)
{
    return m_impl->run("FiscalClosureAlt", args(idOp), true, [&] { return m_impl->closure(true); });
}

int16_t SimulatedPrinter::PaperEndRecovery(int16_t value)
{
    return m_impl->run("PaperEndRecovery", args(value), false, [&] { return m_impl->paperEndRecovery(); });
}

std::string SimulatedPrinter::ErrorText(int16_t level, int32_t code)
{
    std::string text = simcode::text(code);
    if (code == simcode::StorageFailure && m_impl->storageProblem)
        text += " (" + *m_impl->storageProblem + ")";
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
    m_impl->endDocument();
    m_impl->documentStart = m_impl->state;
}

int16_t SimulatedPrinter::endDocument()
{
    return m_impl->endDocument();
}

const ReceiptRules::Terms& SimulatedPrinter::receiptTerms()
{
    static const ReceiptRules::Terms terms{&writtenThousandths, false, false};
    return terms;
}

const SimState& SimulatedPrinter::currentState() const
{
    return m_impl->state;
}
