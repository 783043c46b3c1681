// SPDX-License-Identifier: MIT
#pragma once

#include "printer/Currency.h"
#include "printer/ReceiptRules.h"
#include "simulator/SimState.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

class SimJournal;

// What each of the simulated printer's operations does to the document open
// on it, built on the shared receipt rules: a refusal with its code, or the
// state it leaves and the text it prints on the roll. Touches no file: the
// store (simulator/SimStore.h) commits what it answers.
class SimReceipt {
public:
    // An operation's answer. A code other than Ok refuses it and changes
    // nothing; Ok with no `next` accepts it with nothing to commit.
    struct Step {
        int16_t code = 0;
        std::optional<SimState> next;
        std::string printed;
    };

    // `state` (read afresh at each call) and `journal` outlive the model.
    SimReceipt(const SimState& state, const SimJournal& journal) : m_state(state), m_journal(journal) {}

    // How this printer reads quantities and amounts: the quantity as the
    // decimal the single was written from, amounts to four decimals.
    static const ReceiptRules::Terms& terms();
    // The receipt's rules, on the receipt the state holds.
    ReceiptRules rules() const;

    static const char* paymentLabel(SimState::Payment kind);
    // The kind of payment a tender's type stands for.
    static SimState::Payment tenderKind(int32_t type);

    Step item(bool isReturn, const std::string& text, std::optional<float> quantity, Currency price,
              int16_t dept) const;
    // A description (no `extraLine`) or an extra line.
    Step line(const std::string& text, std::optional<int16_t> extraLine) const;
    Step subtotal() const;
    Step discount(Currency amount) const;
    Step cancel() const;
    // `amount` empty or zero pays what is due; only cash gives change.
    Step pay(SimState::Payment kind, const QString& label, std::optional<Currency> amount) const;
    Step openNonFiscal() const;
    Step nonFiscalLine(const std::string& text) const;
    Step closeNonFiscal() const;
    Step amountEntry(Currency amount) const;
    Step openDrawer() const;
    Step closure(bool withDepartments) const;
    Step paperEndRecovery() const;

private:
    SimState after(const ReceiptRules& rules) const;

    const SimState& m_state;
    const SimJournal& m_journal;
};
