// SPDX-License-Identifier: MIT
#pragma once

#include "printer/Currency.h"

#include <cstdint>
#include <optional>

// The fiscal receipt as every printer of the bridge keeps it: the document
// open, the running total, what is paid so far; and the checks an operation
// passes before a printer takes it. A check answers a result code
// (printer/ResultCodes.h); an operation it accepts moves the state, one it
// refuses leaves it as it was. Knows nothing of paper, files or XML: the
// printer prints or sends what an accepted operation gives.
//
// The order of a receipt: sale and return lines (with descriptions,
// subtotals and discounts among them), then payments until they cover the
// total, which closes it. A non-fiscal document, the amount entry and the
// closure stand outside receipts.
class ReceiptRules {
public:
    enum class Document { None, Fiscal, Payment, NonFiscal };

    // Where printers read their input differently.
    struct Terms {
        // Thousandths of a positive quantity the control passes as a single
        // float, as the printer reads it; nullopt when it does not fit.
        std::optional<int64_t> (*thousandths)(float) = nullptr;
        // The printer takes amounts with two decimals: the unit price is
        // rounded to the cent before it is multiplied, and every amount is
        // held to the limit once rounded. Otherwise amounts are taken to four
        // decimals and held to the limit as given, and only the line amount
        // is rounded.
        bool amountsInCents = false;
        // The receipt opens on its first line of any kind. Otherwise only a
        // sale or a return opens it, and it is paid only after one.
        bool opensOnAnyLine = false;

        bool operator==(const Terms&) const = default;
    };

    static constexpr int MaxDepartment = 99;
    // Extra lines are numbered 1 to this.
    static constexpr int MaxExtraLine = 99;
    // 9.999.999,99: the largest amount the printer's totals take.
    static constexpr Currency MaxAmount = Currency::fromUnits(99'999'999'900);

    // Halves up, as a till rounds (away from zero for a negative amount).
    static Currency roundedToCents(Currency value);

    explicit ReceiptRules(const Terms& terms) : m_terms(terms) {}
    // A receipt already under way (a printer's saved state).
    ReceiptRules(const Terms& terms, Document document, Currency net, Currency paid, int itemLines)
        : m_terms(terms), m_document(document), m_net(net), m_paid(paid), m_itemLines(itemLines)
    {}

    Document document() const { return m_document; }
    bool fiscalOpen() const { return m_document == Document::Fiscal || m_document == Document::Payment; }
    // The running total: sales less returns and discounts.
    Currency net() const { return m_net; }
    Currency due() const { return m_net - m_paid; }
    // Sale and return lines of the open receipt.
    int itemLines() const { return m_itemLines; }

    // A sale or return line as taken.
    struct Item {
        int16_t code = 0;
        Currency amount{};       // price x quantity, to the cent
        Currency unitPrice{};    // as taken (to the cent when amounts are in cents)
        int64_t thousandths = 0; // the quantity as read; 1000 when none was given
    };
    Item item(bool isReturn, std::optional<float> quantity, Currency price, int16_t dept);
    int16_t description();
    int16_t extraLine(int16_t line);
    int16_t subtotal();
    // `amount` 0 after rounding: accepted, with nothing to give.
    struct Discount {
        int16_t code = 0;
        Currency amount{}; // to the cent
    };
    Discount discount(Currency amount);
    struct Payment {
        int16_t code = 0;
        Currency paid{}; // to the cent
        bool closes = false;
        Currency change{}; // what the payment gave beyond the due, when it closes
        Currency total{};  // the receipt's total, when it closes
    };
    // `amount` empty or 0 pays what is due; only cash may pay more.
    Payment pay(std::optional<Currency> amount, bool cash);
    // Drops the fiscal receipt; false when none was open.
    bool cancel();

    int16_t openNonFiscal();
    int16_t nonFiscalLine() const;
    int16_t closeNonFiscal();
    int16_t amountEntry(Currency amount) const;
    int16_t closure() const;

    bool operator==(const ReceiptRules&) const = default;

private:
    void openFiscal();
    // Lines that go in a receipt before its payments.
    bool takesLines() const;

    Terms m_terms;
    Document m_document = Document::None;
    Currency m_net;
    Currency m_paid;
    int m_itemLines = 0;
};
