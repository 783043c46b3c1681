// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// The main window as the core sees it: the two error labels, bringing the
// window to the operator, hiding it to the tray, and the message boxes.
// Texts are windows-1252 bytes. Implementations: the Qt window, the headless
// console, a scripted fake in tests.
class OperatorWindow {
public:
    virtual ~OperatorWindow() = default;

    // MsgErrori: printer errors.
    virtual void setPrinterErrorText(const std::string& text) = 0;
    virtual std::string printerErrorText() const = 0;
    // MsgErrore_NOPrinter: the program's own errors.
    virtual void setProgramErrorText(const std::string& text) = 0;
    virtual std::string programErrorText() const = 0;

    // Shows the window and keeps it above all others until it is hidden.
    virtual void showOnTop() = 0;
    // Makes the window topmost without showing a hidden one.
    virtual void makeTopmost() = 0;
    // Hides the window and puts its icon into the tray.
    virtual void hideToTray() = 0;

    // What happened, for the window's status line (plain words beside the
    // error labels). Texts are windows-1252 bytes.
    // A command file was thrown away without running (`name`: its name).
    virtual void fileDiscarded(const std::string& name) = 0;
    // The bridge voided (or closed) a document left open in the printer;
    // `reason` says why, in the words of the log record.
    virtual void documentVoided(const std::string& reason) = 0;
    // The error state was lifted.
    virtual void errorCleared() = 0;

    // Message boxes with the program's title unless one is given.
    virtual void inform(const std::string& title, const std::string& text) = 0;
    virtual bool askOkCancel(const std::string& title, const std::string& text) = 0;
    virtual bool askYesNo(const std::string& title, const std::string& text) = 0;
};

// The program's title, used for message boxes without a title of their own.
inline constexpr char ProgramTitle[] = "Tessiro";
