// SPDX-License-Identifier: MIT
#include "commands/Interprete.h"

#include "commands/CommandText.h"
#include "commands/SpezzaRiga.h"
#include "config/Text.h"
#include "core/Clock.h"
#include "core/Job.h"
#include "core/OutsideText.h"
#include "core/SharedState.h"
#include "errors/ErrorHandler.h"
#include "printer/ComandiEpson.h"
#include "printer/Currency.h"
#include "printer/Porta.h"
#include "printer/PrinterControl.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <string_view>

namespace {

// Records are quoted in log messages up to this length, so one bad record
// cannot flood the log the back-office reads.
constexpr size_t QuotedRecordLimit = 256;

// A record as a failure message quotes it: its control characters made "?"
// (a quoted record may hold line ends, an escape sequence, a NUL), so it can
// neither end the log record nor drive a terminal that shows the log; a cut
// one is marked "...".
std::string recordForLog(const std::string& record)
{
    const std::string quoted = cleanOutsideText(record, QuotedRecordLimit);
    return record.size() <= QuotedRecordLimit ? quoted : quoted + "...";
}

// A numeric field that did not convert: which one, and why.
struct BadField {
    enum class Why { None, NotANumber, OutOfRange, Fraction };
    Why why = Why::None;
    size_t field = 0;
    int64_t divisor = 1; // of a Fraction: the field counts 1/divisor units
};

struct RecordCall {
    ComandiEpson& ops;
    const LineFields& f;
    int16_t& ContatoreF6;
    int16_t unpaidType;
    int16_t unpaidIndex;
    BadField bad;

    // Keeps the first field that failed: the record is reported for it.
    template <class T>
    std::optional<T> mark(std::optional<T> value, size_t field, BadField::Why why, int64_t divisor = 1)
    {
        if (!value && bad.why == BadField::Why::None)
            bad = {why, field, divisor};
        return value;
    }

    // W: floor to a 16-bit integer.
    std::optional<int16_t> W(size_t i)
    {
        const auto value = Currency::parse(f[i]);
        if (!value)
            return mark<int16_t>(std::nullopt, i, BadField::Why::NotANumber);
        const int64_t whole = value->floorWhole();
        if (whole < std::numeric_limits<int16_t>::min() || whole > std::numeric_limits<int16_t>::max())
            return mark<int16_t>(std::nullopt, i, BadField::Why::OutOfRange);
        return static_cast<int16_t>(whole);
    }

    // R: rounded to a 16-bit integer, halves to even.
    std::optional<int16_t> R(size_t i)
    {
        const auto value = Currency::parse(f[i]);
        if (!value)
            return mark<int16_t>(std::nullopt, i, BadField::Why::NotANumber);
        return mark(value->toInt16(), i, BadField::Why::OutOfRange);
    }

    // A: the field's value as a fixed-point number (departments, the
    // payment type's value).
    std::optional<Currency> A(size_t i) { return mark(Currency::parse(f[i]), i, BadField::Why::NotANumber); }

    // An amount or quantity the record counts in 1/divisor units: a whole
    // number of them, handed over divided by `divisor`.
    std::optional<Currency> count(size_t i, int64_t divisor)
    {
        bool fraction = false;
        const auto value = Currency::parseCount(f[i], divisor, &fraction);
        return mark(value, i, fraction ? BadField::Why::Fraction : BadField::Why::NotANumber, divisor);
    }
};

// What running one record came to. BadField: a numeric field the operation
// needs did not convert (RecordCall::bad says which and why); nothing was
// sent.
enum class Outcome { Done, Failed, BadField };

Outcome of(bool done)
{
    return done ? Outcome::Done : Outcome::Failed;
}

using Handler = Outcome (*)(RecordCall&);

// The shapes most records share: idOp alone, idOp and the text of field 2,
// idOp and the amount of field 2 (handed over in hundredths).
template <bool (ComandiEpson::*Op)(int16_t)>
Outcome withIdOp(RecordCall& c)
{
    const auto idOp = c.W(1);
    if (!idOp)
        return Outcome::BadField;
    return of((c.ops.*Op)(*idOp));
}

template <bool (ComandiEpson::*Op)(int16_t, const std::string&)>
Outcome withIdOpText(RecordCall& c)
{
    const auto idOp = c.W(1);
    if (!idOp)
        return Outcome::BadField;
    return of((c.ops.*Op)(*idOp, c.f[2]));
}

template <bool (ComandiEpson::*Op)(int16_t, Currency)>
Outcome withIdOpAmount(RecordCall& c)
{
    const auto idOp = c.W(1);
    const auto amount = c.count(2, 1);
    if (!idOp || !amount)
        return Outcome::BadField;
    return of((c.ops.*Op)(*idOp, *amount));
}

struct Command {
    std::string_view code;
    std::string_view routine; // the printer operation the record becomes
    std::string_view what;    // what it does, for `tessiro check`
    RecordEffect effect;      // on the printer's document
    Handler run;
    size_t fields;    // the fields the code takes, its own included
    size_t textField; // the field holding a text, 0 when none
};

// The codes of the command records; compared exactly, case included.
constexpr Command Commands[] = {
    {"F2", "opReparto", "department sale", RecordEffect::OpensReceipt,
     [](RecordCall& c) {
         const auto idOp = c.W(1);
         const auto quantity = c.count(3, 1000);
         const auto price = c.count(4, 100);
         const auto dept = c.A(5);
         if (!idOp || !quantity || !price || !dept)
             return Outcome::BadField;
         return of(c.ops.opReparto(*idOp, c.f[2], *quantity, *price, *dept));
     },
     6, 2},
    {"F3", "opRepartoReso", "department return", RecordEffect::OpensReceipt,
     [](RecordCall& c) {
         const auto idOp = c.W(1);
         const auto price = c.count(3, 100);
         const auto dept = c.A(4);
         const auto quantity = c.count(6, 100);
         if (!idOp || !price || !dept || !quantity)
             return Outcome::BadField;
         return of(c.ops.opRepartoReso(*idOp, c.f[2], *price, *dept, *quantity));
     },
     7, 2},
    {"F4", "ChiudiScontrino", "payment, closes the receipt when covered", RecordEffect::Closes,
     [](RecordCall& c) {
         const auto amount = c.count(3, 100);
         const auto typeValue = c.A(4);
         const auto type = c.R(4);
         if (!amount || !typeValue || !type)
             return Outcome::BadField;
         // Field 2 goes to the operation, which does not use it, so it is not
         // checked.
         const Currency unused = Currency::parse(c.f[2]).value_or(Currency{});
         const std::string unpaid = *typeValue == Currency::fromWhole(6)
                                        ? std::to_string(c.unpaidType) + ":" + std::to_string(c.unpaidIndex)
                                        : std::string();
         return of(c.ops.ChiudiScontrino(1, unused, *amount, *type, unpaid));
     },
     5, 0},
    {"F5", "opDescAgg", "description line", RecordEffect::None, withIdOpText<&ComandiEpson::opDescAgg>, 3, 2},
    {"F6", "opRigaAggiuntiva", "extra line", RecordEffect::None,
     [](RecordCall& c) {
         const auto idOp = c.W(1);
         if (!idOp)
             return Outcome::BadField;
         ++c.ContatoreF6;
         return of(c.ops.opRigaAggiuntiva(*idOp, c.ContatoreF6, c.f[3]));
     },
     4, 3},
    {"F7", "AbbuonoSubTot", "discount on the subtotal", RecordEffect::None, withIdOpAmount<&ComandiEpson::AbbuonoSubTot>, 3, 0},
    {"F8", "opRepartoResoImporto", "return of an amount", RecordEffect::OpensReceipt,
     [](RecordCall& c) {
         const auto idOp = c.W(1);
         const auto amount = c.count(3, 100);
         const auto dept = c.A(4);
         if (!idOp || !amount || !dept)
             return Outcome::BadField;
         return of(c.ops.opRepartoResoImporto(*idOp, c.f[2], *amount, *dept));
     },
     5, 2},
    {"F9", "OpImportoSNoFisc", "amount entry", RecordEffect::None, withIdOpAmount<&ComandiEpson::OpImportoSNoFisc>, 3, 0},
    {"F10", "OpImportoSNoFisc", "amount entry", RecordEffect::None, withIdOpAmount<&ComandiEpson::OpImportoSNoFisc>, 3, 0},
    {"Z1", "opZChiusuraFisc", "daily fiscal closure", RecordEffect::ClosesDay,
     [](RecordCall& c) {
         const auto idOp = c.W(1);
         const auto kind = c.W(2);
         if (!idOp || !kind)
             return Outcome::BadField;
         return of(c.ops.opZChiusuraFisc(*idOp, *kind));
     },
     3, 0},
    {"N1", "opApriNonFiscale", "opens a non-fiscal receipt", RecordEffect::OpensNonFiscal, withIdOp<&ComandiEpson::opApriNonFiscale>, 2, 0},
    {"N2", "OpDatiSNoFisc", "non-fiscal line", RecordEffect::None, withIdOpText<&ComandiEpson::OpDatiSNoFisc>, 3, 2},
    {"N3", "opChiudiNonFiscale", "closes the non-fiscal receipt", RecordEffect::Closes, withIdOp<&ComandiEpson::opChiudiNonFiscale>, 2,
     0},
    {"D1", "opMsgVisoreCortesia", "customer display text", RecordEffect::None, withIdOpText<&ComandiEpson::opMsgVisoreCortesia>, 3, 2},
    {"V1", "opApri", "opens the cash drawer", RecordEffect::None, withIdOp<&ComandiEpson::opApri>, 2, 0},
};

} // namespace

DocumentsOpened documentsOpened(std::istream& in)
{
    DocumentsOpened opened;
    RecordReader reader(in);
    LineFields fields;
    std::string record;
    while (reader.next(record) == RecordReader::Result::Record) {
        SpezzaRiga(record, fields);
        const RecordEffect effect = recordEffect(fields[0]);
        opened.receipt = opened.receipt || effect == RecordEffect::OpensReceipt;
        opened.nonFiscal = opened.nonFiscal || effect == RecordEffect::OpensNonFiscal;
    }
    return opened;
}

namespace {

const Command* findCommand(std::string_view code)
{
    for (const auto& command : Commands)
        if (command.code == code)
            return &command;
    return nullptr;
}

// ---------------------------------------------- hints for `tessiro check`

std::string inQuotes(std::string_view text)
{
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

std::string fieldHint(const BadField& bad, const LineFields& f)
{
    const std::string& text = f[bad.field];
    const std::string field = "field " + std::to_string(bad.field);
    if (trimmed(text).empty())
        return field + " is empty";
    const std::string head = field + " (" + inQuotes(text) + ")";
    switch (bad.why) {
    case BadField::Why::Fraction:
        return bad.divisor == 1000
                   ? head + " is not a whole number of thousandths: quantities are written without a decimal "
                            "point (1500 for 1.5)"
                   : head + " is not a whole number of hundredths: amounts are written without a decimal point "
                            "(250 for 2.50)";
    case BadField::Why::OutOfRange: return head + " is out of range";
    default:
        if (text.find_first_not_of(" \t+-.0123456789") == std::string::npos)
            return head + " is out of range";
        return head + " is not a number";
    }
}

// What a comma or a colon inside a text did to the record: a comma ended it,
// a colon started a new field.
void shapeHints(const Command& command, const LineFields& f, std::string_view record, bool endedAtComma, bool failed,
                const std::function<void(const std::string&)>& hint)
{
    const size_t present = std::min<size_t>(std::count(record.begin(), record.end(), ':'), f.field.size() - 1) + 1;
    const size_t last = present - 1;
    if (endedAtComma && (failed || (command.textField != 0 && last == command.textField)))
        hint("a comma ended the record after field " + std::to_string(last) + " (" + inQuotes(f[last]) +
             "): a comma ends a record, so a text holding one needs the whole record in double quotes");
    if (command.textField != 0 && present > command.fields)
        hint("field " + std::to_string(command.textField) + " (" + inQuotes(f[command.textField]) +
             ") may have ended at a colon: " + std::string(command.code) + " takes " +
             std::to_string(command.fields) + " fields and this record has " + std::to_string(present) +
             "; a colon inside a text starts a new field and moves the ones after it");
}

void unknownCodeHints(const std::string& code, const std::function<void(const std::string&)>& hint)
{
    std::string upper = code;
    for (char& ch : upper)
        if (ch >= 'a' && ch <= 'z')
            ch = static_cast<char>(ch - 'a' + 'A');
    if (upper != code && findCommand(upper))
        hint("codes are upper case: " + inQuotes(upper));
    if (code.find(';') != std::string::npos)
        hint("fields are separated by colons (:), not semicolons");
}

// The document a file's records opened and left open after its last record
// is voided: one file is one receipt, never continued by the next file.
void voidLeftOpen(PrinterControl& control, ErrorHandler& errors, const ComandiEpson& ops)
{
    const DocumentVoid left = AnnullaDocumentoAperto(control, errors);
    if (left.found == OpenDocument::None || left.found == OpenDocument::Unknown)
        return;
    if (!left.done) {
        errors.registraErrore(MsgDocumentoNonAnnullato);
        return;
    }
    std::string message = MsgDocumentoNonChiuso;
    if (const auto type = ops.unsentPayment())
        message += MsgPagamentoNonInviato + std::to_string(*type) + MsgNonInviatoAllaStampante;
    errors.documentVoided(message, true);
}

// A control that raises on Busy is taken as free: the operation then makes
// its own call and reports its own failure, so the fault is logged once.
bool isBusy(PrinterControl& control)
{
    try {
        return control.Busy();
    } catch (const ControlFailure&) {
        return false;
    }
}

// Waits while the printer is busy, pausing `Eps_Delay` hundredths between
// looks; false when it is still busy after BusyWaitBound of pauses.
bool waitUntilFree(PrinterControl& control, int16_t pauseSetting, Clock& clock)
{
    const auto pause = std::max(std::chrono::milliseconds(pauseSetting) * 10, MinimumBusyPause);
    std::chrono::milliseconds waited{0};
    while (isBusy(control)) {
        if (waited >= BusyWaitBound)
            return false;
        const auto step = std::min<std::chrono::milliseconds>(pause, BusyWaitBound - waited);
        clock.sleepFor(step);
        waited += step;
    }
    return true;
}

// A failure reported while the job ran (by a record, the port, the printer's
// error event) makes it a failed one.
class FailureWatch {
public:
    FailureWatch(const ErrorHandler& errors, Job& job) : m_errors(errors), m_job(job), m_before(errors.failures()) {}
    ~FailureWatch()
    {
        if (m_errors.failures() != m_before)
            m_job.settle(Job::Outcome::Failed);
    }
    FailureWatch(const FailureWatch&) = delete;
    FailureWatch& operator=(const FailureWatch&) = delete;

private:
    const ErrorHandler& m_errors;
    Job& m_job;
    unsigned m_before;
};

void discard(ErrorHandler& errors, Job& job)
{
    errors.fileDiscarded(MsgFileNonEseguito);
    job.settle(Job::Outcome::Discarded);
}

} // namespace

RecordEffect recordEffect(std::string_view code)
{
    const Command* command = findCommand(code);
    return command ? command->effect : RecordEffect::None;
}

void EseguiFileComandi(PrinterControl& control, ErrorHandler& errors, const SharedState& state, Clock& clock, Job& job,
                       const std::filesystem::path& file, const RecordWatch* watch)
{
    errors.fileUnder(job);
    // Checked before the file is opened, as the stream form does: a file
    // dropped while an error stands is not even read.
    if (state.errorState) {
        discard(errors, job);
        return;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in.is_open()) {
        const FailureWatch failures(errors, job);
        errors.registraErrore(MsgFileIlleggibile + cleanOutsideText(file.string(), file.string().size()));
        return;
    }
    EseguiFileComandi(control, errors, state, clock, job, in, {}, watch);
}

void EseguiFileComandi(PrinterControl& control, ErrorHandler& errors, const SharedState& state, Clock& clock, Job& job,
                       std::istream& in, const RunObserver& observer, const RecordWatch* watch)
{
    errors.fileUnder(job);
    // Checked before the port is touched: a port that fails to open would
    // report through the error handler and so overwrite Kelmora_CORR, or clear
    // the standing error for a display file, while this file is only dropped.
    if (state.errorState) {
        discard(errors, job);
        return;
    }
    const FailureWatch failures(errors, job);

    if (observer.beforeStart)
        observer.beforeStart();
    const WorkingSettings& settings = state.settings;
    // A port that will not open is reported by ApriPorta itself; the records
    // still run and each reports what the control answers it.
    bool voidRefused = false;
    if (ApriPorta(control, errors, settings.portNumber, settings.portSettings)) {
        // Left by a file that failed, by the TEST receipt or by a run that
        // was stopped: this file's items must not join it.
        const DocumentVoid before = AnnullaDocumentoAperto(control, errors);
        if (!before.done)
            voidRefused = true;
        else if (before.found != OpenDocument::None && before.found != OpenDocument::Unknown)
            errors.documentVoided(MsgDocumentoAnnullatoPrima, false);
    }

    ComandiEpson ops(control, errors, state.configFile());
    LineFields fields;
    int16_t ContatoreF6 = 0;
    RecordCall call{ops, fields, ContatoreF6, settings.unpaidType, settings.unpaidIndex, {}};
    CommandText text(in);
    std::istream printerText(&text);
    if (watch && watch->textRead)
        watch->textRead(text.reading());
    RecordReader reader(printerText);
    std::string record;
    bool outcome = false;
    bool first = true;
    bool completed = false;
    const auto hint = [watch](const std::string& words) {
        if (watch && watch->hint)
            watch->hint(words);
    };
    const auto ended = [watch](bool goesOn) {
        if (watch && watch->ended)
            watch->ended(goesOn);
    };
    bool opened = false;

    while (!voidRefused) {
        clock.stillWorking();
        const auto read = reader.next(record);
        if (read == RecordReader::Result::End) {
            // A job that asked nothing of the printer is still on file.
            if (first) {
                errors.logOnly(MsgFileVuoto);
                job.settle(Job::Outcome::NotRun);
            }
            completed = true;
            break;
        }
        if (read == RecordReader::Result::TooLong) {
            if (watch && watch->started)
                watch->started(recordForLog(record), {}, {});
            errors.registraErrore(MsgRecordTroppoLungo + recordForLog(record));
            ended(false);
            break;
        }
        SpezzaRiga(record, fields);
        const Command* command = findCommand(fields[0]);
        if (watch && watch->started)
            watch->started(record, command ? command->routine : std::string_view(),
                           command ? command->what : std::string_view());
        if (!command && watch)
            unknownCodeHints(fields[0], hint);
        if (first && !command) {
            errors.logOnly(MsgPrimoCodiceSconosciuto + recordForLog(record));
            job.settle(Job::Outcome::NotRun);
            ended(false);
            break;
        }
        first = false;
        if (!waitUntilFree(control, settings.pause, clock)) {
            errors.registraErrore(MsgStampanteOccupata + recordForLog(record));
            ended(false);
            break;
        }
        if (command) {
            if (observer.beforeRecord)
                observer.beforeRecord(fields[0]);
            call.bad = {};
            opened = opened || opensDocument(command->effect);
            const Outcome result = command->run(call);
            if (watch)
                shapeHints(*command, fields, record, reader.endedAtComma(), result == Outcome::BadField, hint);
            if (result == Outcome::BadField) {
                if (watch)
                    hint(fieldHint(call.bad, fields));
                errors.registraErrore((call.bad.why == BadField::Why::Fraction ? MsgImportoNonValido
                                                                                : MsgCampoNonValido) +
                                      recordForLog(record));
                ended(false);
                break;
            }
            outcome = result == Outcome::Done;
        }
        ended(outcome);
        if (!outcome)
            break;
    }

    // A file that stopped on a failure keeps its document for the
    // operator's recovery; the next file voids what is still open then.
    if (completed && opened)
        voidLeftOpen(control, errors, ops);
    if (observer.afterLastRecord)
        observer.afterLastRecord(completed);
    ChiudiPorta(control, errors);
}
