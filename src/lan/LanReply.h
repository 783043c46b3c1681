// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>

// What one exchange with the printer's service brought back, before it is
// read: a reply, or why none came.
struct HttpOutcome {
    enum class Kind { Replied, Timeout, NoConnection, Tls };
    Kind kind = Kind::NoConnection;
    int httpStatus = 0;
    QByteArray body;
    QString error; // why no reply came; the network layer's own words in brackets
    // The whole request was handed to the network: from then on the service
    // may have taken the document, whatever comes back or fails to.
    bool requestSent = false;
    // Over https: the TLS errors accepted because the certificate is the
    // pinned one (a self-signed certificate gives some); empty otherwise.
    QString acceptedTlsErrors;
};

// A reply of the service read into the contract: the outcome, the printer's
// own keyword and status, and the printer's status digits when it sent them.
struct LanReply {
    // 0 when the printer did what was asked; otherwise a code of LanCodes.h.
    int16_t code = 0;
    // True when the printer itself answered (success or not): the document
    // reached it. False for a timeout, a network or TLS failure, an HTTP
    // error or a reply that is not the service's.
    bool fromPrinter = false;
    // The request went out whole (the service may have taken it).
    bool sent = false;
    // Texts of the reply (keyword, digits, addInfo, problem) come from
    // outside: they are cleaned of control characters and cut when read.
    QString keyword;                 // the `code` attribute: "PRINTER ERROR", "EPTR_REC_EMPTY"...
    std::optional<int> status;       // the `status` attribute
    QString printerStatus;           // the five status digits (printerStatus or fpStatus)
    std::map<QString, QString> info; // every child of addInfo
    QString problem;                 // what was wrong with an exchange that brought no usable reply

    // The document may or may not have been printed: no reply after it was
    // sent whole, a reply cut off or unreadable, an HTTP 5xx, or the
    // service saying the fiscal unit did not answer. Code NoAnswer.
    bool inDoubt() const;
    // The printer's status digits say a document is open (fiscal receipt,
    // non-fiscal document, payment in progress, invoice); nullopt when the
    // reply carried no digits.
    std::optional<bool> documentOpen() const;
    // What the printer said, for the error text: "PRINTER ERROR, stato 11,
    // stampante 30100", or the exchange's problem.
    QString detail() const;
};

// Reads an exchange: the HTTP status, the SOAP envelope and its `response`
// element. A failure once the request was sent whole is a doubt (NoAnswer);
// one before it, or an HTTP 4xx (the service did not take the document), is
// safe to send again (Communication). Keywords are matched without regard to case and by prefix, as
// their spellings differ between firmwares.
LanReply readReply(const HttpOutcome& outcome);

// The contract code of a failure the printer reported.
int16_t codeForFailure(const QString& keyword, std::optional<int> status);
