// SPDX-License-Identifier: MIT
#pragma once

#include "printer/Currency.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// One element of a document, its attributes in the order they are written.
struct LanElement {
    QString name;
    std::vector<std::pair<QString, QString>> attributes;

    QString attribute(const QString& key) const;
};

// One request to the printer's XML service: a root element (the kind of
// document) and its elements, sent as one SOAP body.
struct LanDocument {
    enum class Kind { FiscalReceipt, NonFiscal, FiscalReport, Command };
    Kind kind = Kind::Command;
    std::vector<LanElement> elements;

    QString rootName() const;
    // The whole request body: XML declaration, envelope, root, elements.
    QByteArray toXml() const;
};

// The LAN control's memory of the document being built, call by call. A
// fiscal receipt is collected until its payments cover its total and then
// handed out whole; a non-fiscal document at its close; display, drawer and
// closures at once. Each call answers what the simulated printer answers in
// the same state, so a file runs the same way on both until something is
// sent. Amounts follow the printer's rounding: the quantity to three
// decimals, the unit price to the cent, their product half up to the cent.
class DocumentCollector {
public:
    enum class State { None, Fiscal, Payment, NonFiscal };
    // A code, and the document to send now when the call completed one.
    struct Result {
        int16_t code = 0;
        std::optional<LanDocument> send;
    };
    // The payment types of the service.
    enum PaymentType { Cash = 0, Cheque = 1, Card = 2, Ticket = 3 };

    Result item(bool isReturn, const std::string& text, std::optional<float> quantity, Currency price, int16_t dept);
    Result description(const std::string& text);
    Result trailerLine(int16_t line, const std::string& text);
    Result subtotal();
    Result subtotalDiscount(Currency amount);
    // `amount` empty or 0 pays what is due; only cash may pay more.
    Result pay(const std::string& description, std::optional<Currency> amount, int32_t paymentType, int16_t index);
    Result openNonFiscal();
    Result nonFiscalLine(const std::string& text);
    Result closeNonFiscal();
    Result display(const std::string& text) const;
    Result openDrawer() const;
    // `withReport`: the financial report printed with the closure.
    Result closure(bool withReport) const;
    // The code AmountEntry answers in this state.
    int16_t amountEntry(Currency amount) const;
    static LanDocument reset();
    static LanDocument statusQuery();

    // Drops the fiscal receipt being collected; true when there was one.
    bool dropFiscal();
    // Drops whatever is being collected; true when there was something.
    bool dropAll();

    State state() const { return m_state; }
    int64_t netCents() const { return m_net; }
    int64_t dueCents() const { return m_net - m_paid; }
    // The total of the last fiscal receipt handed out, as computed here, to
    // set against the amount the printer answers.
    int64_t lastReceiptCents() const { return m_lastReceipt; }

private:
    void openFiscal();
    LanDocument takeFiscal();

    State m_state = State::None;
    std::vector<LanElement> m_lines;   // sale lines, descriptions, subtotal, discounts
    std::vector<LanElement> m_trailer; // trailer lines: before the payments
    std::vector<LanElement> m_payments;
    std::vector<LanElement> m_nonFiscal;
    int64_t m_net = 0;  // cents
    int64_t m_paid = 0; // cents
    int64_t m_lastReceipt = 0;
};
