// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

// What the operator is told in plain words under the error panels, and in
// the tray: what happened and what to do next. Built from what the window
// has seen since the error came; the panels keep the printer's own texts.
struct StatusFacts {
    // The kind of document the failing command file printed.
    enum class Document { Unknown, Fiscal, NonFiscal };

    bool standing = false; // an error stands
    QString condition;     // the printer's condition in words ("FINE CARTA")
    Document document = Document::Unknown;
    QStringList voided;     // why documents were voided or closed, in order
    bool recovered = false; // the error was lifted
    QStringList discarded;  // files thrown away while the error stood
};

// The printer's condition in words, from the two error panels' texts (CR LF
// or LF line breaks): the printer's own text for its error where there is
// one, else the program's message; the date line and the panels' headings
// are left out. Empty when both panels are empty.
QString conditionOf(const QString& printerText, const QString& programText);

// True for a condition that is the paper's end.
bool isPaperEnd(const QString& condition);

// The status line: one or more sentences, empty when there is nothing to say.
QString statusText(const StatusFacts& facts);

// The object name of the recovery button that matches the fault, or empty.
QString matchingButton(const StatusFacts& facts);
