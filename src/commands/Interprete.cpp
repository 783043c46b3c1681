// SPDX-License-Identifier: MIT
#include "commands/Interprete.h"

#include "commands/SpezzaRiga.h"
#include "core/Clock.h"
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

std::string recordForLog(const std::string& record)
{
    if (record.size() <= QuotedRecordLimit)
        return record;
    return record.substr(0, QuotedRecordLimit) + "...";
}

// W: floor to a 16-bit integer.
std::optional<int16_t> W(const std::string& text)
{
    const auto value = Currency::parse(text);
    if (!value)
        return std::nullopt;
    const int64_t whole = value->floorWhole();
    if (whole < std::numeric_limits<int16_t>::min() || whole > std::numeric_limits<int16_t>::max())
        return std::nullopt;
    return static_cast<int16_t>(whole);
}

// R: rounded to a 16-bit integer, halves to even.
std::optional<int16_t> R(const std::string& text)
{
    const auto value = Currency::parse(text);
    if (!value)
        return std::nullopt;
    return value->toInt16();
}

// A: a fixed-point amount, the field's value divided by `divisor`.
std::optional<Currency> A(const std::string& text, int64_t divisor = 1)
{
    return Currency::parse(text, divisor);
}

// What running one record came to. BadField: a numeric field the operation
// needs is empty, no number or out of range; nothing was sent.
enum class Outcome { Done, Failed, BadField };

Outcome of(bool done)
{
    return done ? Outcome::Done : Outcome::Failed;
}

struct RecordCall {
    ComandiEpson& ops;
    const LineFields& f;
    int16_t& contatoreF6;
    int16_t unpaidType;
    int16_t unpaidIndex;
};

using Handler = Outcome (*)(RecordCall&);

// The shapes most records share: idOp alone, idOp and the text of field 2,
// idOp and the amount of field 2 (handed over in hundredths).
template <bool (ComandiEpson::*Op)(int16_t)>
Outcome withIdOp(RecordCall& c)
{
    const auto idOp = W(c.f[1]);
    if (!idOp)
        return Outcome::BadField;
    return of((c.ops.*Op)(*idOp));
}

template <bool (ComandiEpson::*Op)(int16_t, const std::string&)>
Outcome withIdOpText(RecordCall& c)
{
    const auto idOp = W(c.f[1]);
    if (!idOp)
        return Outcome::BadField;
    return of((c.ops.*Op)(*idOp, c.f[2]));
}

template <bool (ComandiEpson::*Op)(int16_t, Currency)>
Outcome withIdOpAmount(RecordCall& c)
{
    const auto idOp = W(c.f[1]);
    const auto amount = A(c.f[2]);
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
};

// The codes of the command records; compared exactly, case included.
constexpr Command Commands[] = {
    {"F2", "opReparto", "department sale", RecordEffect::Opens,
     [](RecordCall& c) {
         const auto idOp = W(c.f[1]);
         const auto quantity = A(c.f[3], 1000);
         const auto price = A(c.f[4], 100);
         const auto dept = A(c.f[5]);
         if (!idOp || !quantity || !price || !dept)
             return Outcome::BadField;
         return of(c.ops.opReparto(*idOp, c.f[2], *quantity, *price, *dept));
     }},
    {"F3", "opRepartoReso", "department return", RecordEffect::Opens,
     [](RecordCall& c) {
         const auto idOp = W(c.f[1]);
         const auto price = A(c.f[3], 100);
         const auto dept = A(c.f[4]);
         const auto quantity = A(c.f[6], 100);
         if (!idOp || !price || !dept || !quantity)
             return Outcome::BadField;
         return of(c.ops.opRepartoReso(*idOp, c.f[2], *price, *dept, *quantity));
     }},
    {"F4", "ChiudiScontrino", "payment, closes the receipt when covered", RecordEffect::Closes,
     [](RecordCall& c) {
         const auto amount = A(c.f[3], 100);
         const auto typeValue = A(c.f[4]);
         const auto type = R(c.f[4]);
         if (!amount || !typeValue || !type)
             return Outcome::BadField;
         // Field 2 goes to the operation, which does not use it, so it is not
         // checked.
         const Currency unused = A(c.f[2]).value_or(Currency{});
         const std::string unpaid = *typeValue == Currency::fromWhole(6)
                                        ? std::to_string(c.unpaidType) + ":" + std::to_string(c.unpaidIndex)
                                        : std::string();
         return of(c.ops.ChiudiScontrino(1, unused, *amount, *type, unpaid));
     }},
    {"F5", "opDescAgg", "description line", RecordEffect::None, withIdOpText<&ComandiEpson::opDescAgg>},
    {"F6", "opRigaAggiuntiva", "extra line", RecordEffect::None,
     [](RecordCall& c) {
         const auto idOp = W(c.f[1]);
         if (!idOp)
             return Outcome::BadField;
         ++c.contatoreF6;
         return of(c.ops.opRigaAggiuntiva(*idOp, c.contatoreF6, c.f[3]));
     }},
    {"F7", "AbbuonoSubTot", "discount on the subtotal", RecordEffect::None, withIdOpAmount<&ComandiEpson::AbbuonoSubTot>},
    {"F8", "opRepartoResoImporto", "return of an amount", RecordEffect::Opens,
     [](RecordCall& c) {
         const auto idOp = W(c.f[1]);
         const auto amount = A(c.f[3], 100);
         const auto dept = A(c.f[4]);
         if (!idOp || !amount || !dept)
             return Outcome::BadField;
         return of(c.ops.opRepartoResoImporto(*idOp, c.f[2], *amount, *dept));
     }},
    {"F9", "OpImportoSNoFisc", "amount entry", RecordEffect::None, withIdOpAmount<&ComandiEpson::OpImportoSNoFisc>},
    {"F10", "OpImportoSNoFisc", "amount entry", RecordEffect::None, withIdOpAmount<&ComandiEpson::OpImportoSNoFisc>},
    {"Z1", "opZChiusuraFisc", "daily fiscal closure", RecordEffect::None,
     [](RecordCall& c) {
         const auto idOp = W(c.f[1]);
         const auto kind = W(c.f[2]);
         if (!idOp || !kind)
             return Outcome::BadField;
         return of(c.ops.opZChiusuraFisc(*idOp, *kind));
     }},
    {"N1", "opApriNonFiscale", "opens a non-fiscal receipt", RecordEffect::Opens, withIdOp<&ComandiEpson::opApriNonFiscale>},
    {"N2", "OpDatiSNoFisc", "non-fiscal line", RecordEffect::None, withIdOpText<&ComandiEpson::OpDatiSNoFisc>},
    {"N3", "opChiudiNonFiscale", "closes the non-fiscal receipt", RecordEffect::Closes, withIdOp<&ComandiEpson::opChiudiNonFiscale>},
    {"D1", "opMsgVisoreCortesia", "customer display text", RecordEffect::None, withIdOpText<&ComandiEpson::opMsgVisoreCortesia>},
    {"V1", "opApri", "opens the cash drawer", RecordEffect::None, withIdOp<&ComandiEpson::opApri>},
};

const Command* findCommand(std::string_view code)
{
    for (const auto& command : Commands)
        if (command.code == code)
            return &command;
    return nullptr;
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

} // namespace

RecordEffect recordEffect(std::string_view code)
{
    const Command* command = findCommand(code);
    return command ? command->effect : RecordEffect::None;
}

void EseguiFileComandi(PrinterControl& control, ErrorHandler& errors, const SharedState& state, Clock& clock,
                       const std::filesystem::path& file, const RecordWatch* watch)
{
    // Checked before the file is opened, as the stream form does: a file
    // dropped while an error stands is not even read.
    if (state.errorState) {
        errors.fileDiscarded(MsgFileNonEseguito);
        return;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in.is_open()) {
        errors.registraErrore(MsgFileIlleggibile + file.string());
        return;
    }
    EseguiFileComandi(control, errors, state, clock, in, {}, watch);
}

void EseguiFileComandi(PrinterControl& control, ErrorHandler& errors, const SharedState& state, Clock& clock,
                       std::istream& in, const RunObserver& observer, const RecordWatch* watch)
{
    // Checked before the port is touched: a port that fails to open would
    // report through the error handler and so overwrite Kelmora_CORR, or clear
    // the standing error for a display file, while this file is only dropped.
    if (state.errorState) {
        errors.fileDiscarded(MsgFileNonEseguito);
        return;
    }

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
    int16_t contatoreF6 = 0;
    RecordCall call{ops, fields, contatoreF6, settings.unpaidType, settings.unpaidIndex};
    RecordReader reader(in);
    std::string record;
    bool outcome = false;
    bool first = true;
    bool completed = false;
    bool opened = false;

    while (!voidRefused) {
        const auto read = reader.next(record);
        if (read == RecordReader::Result::End) {
            // A job that asked nothing of the printer is still on file.
            if (first)
                errors.logOnly(MsgFileVuoto);
            completed = true;
            break;
        }
        if (read == RecordReader::Result::TooLong) {
            if (watch && watch->started)
                watch->started(recordForLog(record), {}, {});
            errors.registraErrore(MsgRecordTroppoLungo + recordForLog(record));
            if (watch && watch->ended)
                watch->ended(false);
            break;
        }
        SpezzaRiga(record, fields);
        const Command* command = findCommand(fields[0]);
        if (watch && watch->started)
            watch->started(record, command ? command->routine : std::string_view(),
                           command ? command->what : std::string_view());
        if (first && !command) {
            errors.logOnly(MsgPrimoCodiceSconosciuto + recordForLog(record));
            if (watch && watch->ended)
                watch->ended(false);
            break;
        }
        first = false;
        if (!waitUntilFree(control, settings.pause, clock)) {
            errors.registraErrore(MsgStampanteOccupata + recordForLog(record));
            if (watch && watch->ended)
                watch->ended(false);
            break;
        }
        if (command) {
            if (observer.beforeRecord)
                observer.beforeRecord(fields[0]);
            opened = opened || command->effect == RecordEffect::Opens;
            const Outcome result = command->run(call);
            if (result == Outcome::BadField) {
                errors.registraErrore(MsgCampoNonValido + recordForLog(record));
                if (watch && watch->ended)
                    watch->ended(false);
                break;
            }
            outcome = result == Outcome::Done;
        }
        if (watch && watch->ended)
            watch->ended(outcome);
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
