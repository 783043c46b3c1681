// SPDX-License-Identifier: MIT
#pragma once

#include "core/OperatorWindow.h"

#include <iosfwd>
#include <string>

// The window seam without a screen. Nobody is there to answer, so every
// question gets the answer that changes nothing: Cancel for OK/Cancel (no
// recovery command, no log renewal runs), No for Yes/No (the bridge does not
// end).
//
// The error labels are kept but not printed: every failure that fills one
// has already gone to standard error as its log record (OperationsLog), and
// one event must be one line there. Message boxes and questions are one
// warning line each, decoded from windows-1252, line breaks as " | ".
class ConsoleWindow final : public OperatorWindow {
public:
    // `journal`: each line starts with its syslog priority, as OperationsLog's.
    explicit ConsoleWindow(std::ostream& out, bool journal = false);

    void setPrinterErrorText(const std::string& text) override { m_printerText = text; }
    std::string printerErrorText() const override { return m_printerText; }
    void setProgramErrorText(const std::string& text) override { m_programText = text; }
    std::string programErrorText() const override { return m_programText; }

    void showOnTop() override {}
    void makeTopmost() override {}
    void hideToTray() override {}
    // Each of these has already gone to standard error as its log record.
    void fileDiscarded(const std::string&) override {}
    void documentVoided(const std::string&) override {}
    void errorCleared() override {}

    void inform(const std::string& title, const std::string& text) override;
    bool askOkCancel(const std::string& title, const std::string& text) override;
    bool askYesNo(const std::string& title, const std::string& text) override;

private:
    // `answer` (UTF-8) follows the decoded text on the same line.
    void say(const std::string& title, const std::string& text, const char* answer = "");

    std::ostream& m_out;
    bool m_journal;
    std::string m_printerText, m_programText;
};
