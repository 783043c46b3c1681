// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <memory>

class QMessageBox;
class QWidget;

// A question or notice for the operator, as the window seam asks for it.
struct MessageBoxRequest {
    enum class Buttons { Ok, OkCancel, YesNo };
    Buttons buttons = Buttons::Ok;
    QString title; // empty: the program's title
    QString text;  // CR LF line breaks allowed
};

// The box the operator sees: no icon, the request's buttons and title, plain
// text. Yes and OK are the default buttons; Escape answers No or Cancel.
std::unique_ptr<QMessageBox> makeMessageBox(const MessageBoxRequest& request, QWidget* parent);

// A text of the core for display: CR LF and lone CR become line feeds.
QString displayText(const QString& text);
