// SPDX-License-Identifier: MIT
#pragma once

#include "printer/Currency.h"
#include "printer/ReceiptRules.h"

#include <QByteArray>
#include <QString>

class QXmlStreamWriter;

#include <cstdint>
#include <functional>
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

// A SOAP envelope whose namespace prefix is `prefix` ("s", "soapenv")
// around what `body` writes in it: the request and the reply alike. The
// declaration says "utf-8", as the printers' own examples write it.
QByteArray soapEnvelope(const QString& prefix, const std::function<void(QXmlStreamWriter&)>& body);

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
// closures at once. Each call answers by the receipt rules every printer of
// the bridge keeps, on this printer's terms (receiptTerms()): the XML takes
// the quantity to three decimals and the unit price to the cent, and their
// product is rounded half up to the cent.
class DocumentCollector {
public:
    using State = ReceiptRules::Document;
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

    State state() const { return m_rules.document(); }
    int64_t netCents() const;
    int64_t dueCents() const;
    // The total of the last fiscal receipt handed out, as computed here, to
    // set against the amount the printer answers.
    int64_t lastReceiptCents() const { return m_lastReceipt; }

    // How this printer reads quantities and amounts (as its XML fields take
    // them), and what opens its receipt: here a line of any kind.
    static const ReceiptRules::Terms& receiptTerms();

private:
    // A receipt the rules just opened (the call found none) starts empty.
    void startIfOpened(State before);
    void clearFiscal();
    LanDocument takeFiscal();

    ReceiptRules m_rules{receiptTerms()};
    std::vector<LanElement> m_lines;   // sale lines, descriptions, subtotal, discounts
    std::vector<LanElement> m_trailer; // trailer lines: before the payments
    std::vector<LanElement> m_payments;
    std::vector<LanElement> m_nonFiscal;
    int64_t m_lastReceipt = 0; // cents
};
