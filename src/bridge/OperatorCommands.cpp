// SPDX-License-Identifier: MIT
#include "bridge/OperatorCommands.h"

#include "bridge/Bridge.h"
#include "bridge/Recovery.h"
#include "errors/ErrorHandler.h"

#include <array>

namespace {

using Kind = CommandCaller::Kind;
using Place = WindowPlace;

void nascondi(CommandCall& call)
{
    const bool window = call.caller.kind() == Kind::Window;
    // What NASCONDI saves must be what is stored now, not what the fields
    // showed before a change made outside the window.
    if (window)
        call.caller.takeStoredSettings();
    call.bridge.cmdNascondi();
    if (window)
        call.caller.showErrorState();
}

void mostra(CommandCall& call)
{
    if (!call.caller.showWindow())
        call.refusal = "this bridge runs without a window";
}

// The paper-end buttons of the two receipts share one caption; the window's
// headings tell them apart, --help says it in words.
constexpr std::array<OperatorCommand, 13> Commands{{
    {.name = "chiudi-nf",
     .objectName = "cmdChiudiNF",
     .caption = "CHIUDI SCONTRINO BLOCCATO",
     .place = Place::NonFiscalReceipt,
     .row = 0,
     .column = 0,
     .help = "CHIUDI SCONTRINO BLOCCATO (non-fiscal receipt)",
     .liftsError = true,
     .run = [](CommandCall& call) { call.bridge.recovery().cmdChiudiNF(); }},
    {.name = "annulla-scontrino",
     .objectName = "cmdChiudiScontrino",
     .caption = "ANNULLA SCONTRINO BLOCCATO",
     .place = Place::FiscalReceipt,
     .row = 0,
     .column = 0,
     .help = "ANNULLA SCONTRINO BLOCCATO (fiscal receipt)",
     .liftsError = true,
     .run = [](CommandCall& call) { call.bridge.recovery().cmdChiudiScontrino(); }},
    {.name = "elimina-cor",
     .objectName = "cmdEliminaCor",
     .caption = "ELIMINA Corrispettivo in Ostro",
     .place = Place::FiscalReceipt,
     .row = 1,
     .column = 0,
     .help = "ELIMINA Corrispettivo in Ostro",
     .liftsError = true,
     .run = [](CommandCall& call) { call.bridge.recovery().cmdEliminaCor(); }},
    {.name = "fine-carta",
     .objectName = "cmdFineCarta",
     .caption = "RECUPERO DA FINE CARTA",
     .place = Place::FiscalReceipt,
     .row = 0,
     .column = 1,
     .help = "RECUPERO DA FINE CARTA (fiscal receipt)",
     .liftsError = true,
     .run = [](CommandCall& call) { call.bridge.recovery().cmdFineCarta(); }},
    {.name = "fine-carta-nf",
     .objectName = "cmdFineCartaNoFisc",
     .caption = "RECUPERO DA FINE CARTA",
     .place = Place::NonFiscalReceipt,
     .row = 0,
     .column = 1,
     .help = "RECUPERO DA FINE CARTA (non-fiscal receipt)",
     .liftsError = true,
     .run = [](CommandCall& call) { call.bridge.recovery().cmdFineCartaNoFisc(); }},
    {.name = "ristampa",
     .objectName = "cmdRistampa",
     .caption = "RISTAMPA ULTIMO SCONTRINO",
     .place = Place::FiscalReceipt,
     .row = 1,
     .column = 1,
     .help = "RISTAMPA ULTIMO SCONTRINO",
     .liftsError = true,
     .run = [](CommandCall& call) { call.bridge.recovery().cmdRistampa(); }},
    // The sample receipt is the window's only; `tessiro test-receipt` prints
    // it without a running bridge.
    {.objectName = "TEST",
     .caption = "TEST",
     .place = Place::ButtonRow,
     .row = 0,
     .column = 0,
     .run = [](CommandCall& call) { call.bridge.testReceipt(); }},
    {.name = "nascondi",
     .objectName = "cmdNascondi",
     .caption = "NASCONDI",
     .place = Place::ButtonRow,
     .row = 0,
     .column = 1,
     .help = "NASCONDI: clears the error state (headless: and ricarica)",
     .liftsError = true,
     .run = nascondi},
    {.name = "ricarica",
     .help = "applies the stored port, delay, payment, folder settings",
     .run = [](CommandCall& call) { call.bridge.reload(); }},
    {.name = "svuota-errori",
     .objectName = "SvuotaErrori",
     .caption = "Svuota errori a video",
     .place = Place::ToolsMenu,
     .row = 0,
     .help = "Svuota errori a video: empties the printer error panel",
     .run = [](CommandCall& call) { call.bridge.errors().SvuotaErrori(); }},
    // The window asks the operator first ("File LOG"); ctl has already
    // asked whoever typed it.
    {.name = "ricrea-log",
     .objectName = "RicreaLog",
     .caption = "Ricrea File Log",
     .place = Place::ToolsMenu,
     .row = 1,
     .help = "Ricrea File Log, without its question",
     .run = [](CommandCall& call) { call.bridge.recovery().RicreaLog(call.caller.kind() == Kind::Window); }},
    {.name = "stato",
     .help = "the bridge's state; exit 1 while an error stands [--json]",
     .option = "--json",
     .run = [](CommandCall& call) { call.caller.reportState(call.withOption); }},
    {.name = "mostra", .help = "brings the window to the front", .run = mostra},
}};

} // namespace

std::span<const OperatorCommand> operatorCommands()
{
    return Commands;
}

const OperatorCommand* findControlCommand(std::string_view name)
{
    if (name.empty())
        return nullptr;
    for (const OperatorCommand& command : Commands)
        if (command.name == name)
            return &command;
    return nullptr;
}
