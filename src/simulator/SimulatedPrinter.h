// SPDX-License-Identifier: MIT
#pragma once

#include "printer/PrinterControl.h"
#include "printer/ReceiptRules.h"

#include <filesystem>
#include <functional>
#include <memory>

// A fiscal printer model behind the control's contract, with its files in
// `<programDir>/Simulatore/`:
//   giornale.txt   the paper roll: receipts, documents and closures (UTF-8)
//   visore.txt     the customer display's two lines of 20 characters
//   chiamate.log   every interaction with the control, one line each
//   guasti.ini     faults to inject, re-read whenever it changes
//   stato.ini      counters, day totals, the open receipt and the roll
//                  length they account for (stato.ini.guasto: one that
//                  could not be read, kept aside)
// The state is saved before each print reaches the roll, and a roll found
// short at the next start is completed from it: after a kill or a refused
// write, roll and counters agree.
// The folder may be a link that root or this user made (another disk); no
// other link is followed. A link, a folder or a special file in the place of
// one of these files keeps the port closed (OpenPort's failure names it) and
// is never written through.
// The port is exclusive per folder, across processes and objects alike.
// Result codes and their texts are listed in simulator/SimCodes.h. The files
// and their write order are simulator/SimStore.h; what each operation does
// to the open document is simulator/SimReceipt.h; this class joins them to
// the port, the injected faults, the trace and the error event.
struct SimState;
class Clock;

class SimulatedPrinter final : public PrinterControl {
public:
    // Dates the roll and times guasti.ini's faults by `clock`, which outlives
    // the printer.
    SimulatedPrinter(const std::filesystem::path& programDir, Clock& clock);
    // The same on the system clock.
    explicit SimulatedPrinter(const std::filesystem::path& programDir);
    ~SimulatedPrinter() override;

    // Every operation of the contract (printer/PrinterControl.h), each defined
    // in SimulatedPrinter.cpp.
    TESSIRO_PRINTER_OPERATIONS(TESSIRO_PRINTER_OVERRIDE)

    // A fault hook for tests: runs between the two writes of a print, after
    // the state (and its folder) reached the disk and before the text goes
    // on the roll. May be empty.
    std::function<void()> betweenStateAndRoll;

    // For the served printer, which takes a document whole: between
    // beginDocument() and endDocument() the calls print into memory, and
    // endDocument() puts all they printed on the roll with the counters in
    // one durable commit, as one print. Its failure (simcode::StorageFailure)
    // leaves roll and counters as they were before the document. A kill in
    // between loses the document whole, never a part of it.
    void beginDocument();
    int16_t endDocument();
    // Counters and open document as the calls so far left them.
    const SimState& currentState() const;

    // For the served printer, which answers each document over the LAN:
    // true for each of the next N documents whose reply guasti.ini asks to
    // lose (PerdiRisposta=N). Traced as a note.
    bool takeLostReply();

    // How this printer reads quantities and amounts: the quantity as the
    // decimal the single was written from, amounts to four decimals.
    static const ReceiptRules::Terms& receiptTerms();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
