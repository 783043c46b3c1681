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

class SimulatedPrinter final : public PrinterControl {
public:
    explicit SimulatedPrinter(const std::filesystem::path& programDir);
    ~SimulatedPrinter() override;

    void setOpenOptionA(int32_t value) override;
    void setOpenOptionB(int32_t value) override;
    void setComPort(int16_t port) override;
    void setComSettings(const std::string& settings) override;
    void setItemOptionA(int16_t value) override;
    void setItemOptionB(int16_t value) override;
    void OpenPort() override;
    void ClosePort() override;
    bool PortIsOpen() override;
    bool Busy() override;
    OpenDocument DocumentOpen() override;
    int16_t SellDept(int16_t idOp, const std::string& text, Currency price, int16_t dept) override;
    int16_t SellDeptQty(int16_t idOp, const std::string& text, float quantity, Currency price, int16_t dept) override;
    int16_t ReturnDept(int16_t idOp, const std::string& text, Currency price, int16_t dept) override;
    int16_t ReturnDeptQty(int16_t idOp, const std::string& text, float quantity, Currency price, int16_t dept) override;
    int16_t ReturnDeptAmount(int16_t idOp, const std::string& text, Currency amount, int16_t dept) override;
    int16_t AddDescription(int16_t idOp, const std::string& text) override;
    int16_t ExtraLine(int16_t idOp, int16_t line, const std::string& text) override;
    int16_t Subtotal(int16_t value) override;
    int16_t SubtotalDiscount(int16_t idOp, Currency amount) override;
    int16_t CancelReceipt(int16_t value) override;
    int16_t PayCash(int16_t idOp, Currency amount) override;
    int16_t PayCheque(int16_t idOp, Currency amount) override;
    int16_t PayCard(int16_t idOp, int16_t value) override;
    int16_t PayTicket(int16_t idOp, int16_t value, Currency amount) override;
    int16_t PayTender(int16_t idOp, const std::string& text, Currency amount, int32_t type, int16_t flag,
                      int16_t index) override;
    int16_t OpenNonFiscal(int16_t idOp) override;
    int16_t NonFiscalLine(int16_t idOp, int16_t value, const std::string& text) override;
    int16_t CloseNonFiscal(int16_t idOp) override;
    int16_t DisplayText(int16_t idOp, const std::string& text) override;
    int16_t OpenCmd(int16_t idOp) override;
    int16_t AmountEntry(int16_t idOp, Currency amount) override;
    int16_t FiscalClosure(int16_t idOp) override;
    int16_t FiscalClosureAlt(int16_t idOp) override;
    int16_t PaperEndRecovery(int16_t value) override;
    std::string ErrorText(int16_t level, int32_t code) override;

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
