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
// text, never narrower than its title. Every question the operator is asked
// undoes something (ends the program, renews the logs, empties folders), so
// No and Cancel are the default buttons and what Escape answers; Enter
// presses the button that has the focus.
// Room beside a box's title for the window manager's icon and buttons.
inline constexpr int TitleBarRoom = 160;
std::unique_ptr<QMessageBox> makeMessageBox(const MessageBoxRequest& request, QWidget* parent);

// A text of the core for display: CR LF and lone CR become line feeds.
QString displayText(const QString& text);
