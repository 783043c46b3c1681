// SPDX-License-Identifier: MIT
#pragma once

#include "errors/OperatorWindow.h"

#include <iosfwd>
#include <string>

// The window seam without a screen: labels and messages go to a stream
// (standard error), decoded from windows-1252. Nobody is there to answer, so
// every question gets the answer that changes nothing: Cancel for OK/Cancel
// (no recovery command, no log renewal runs), No for Yes/No (the bridge does
// not end).
class ConsoleWindow final : public OperatorWindow {
public:
    explicit ConsoleWindow(std::ostream& out);

    void setPrinterErrorText(const std::string& text) override;
    std::string printerErrorText() const override { return m_printerText; }
    void setProgramErrorText(const std::string& text) override;
    std::string programErrorText() const override { return m_programText; }

    void showOnTop() override {}
    void makeTopmost() override {}
    void hideToTray() override {}

    void inform(const std::string& title, const std::string& text) override;
    bool askOkCancel(const std::string& title, const std::string& text) override;
    bool askYesNo(const std::string& title, const std::string& text) override;

private:
    // `answer` (UTF-8) follows the decoded text on the same line.
    void say(const std::string& heading, const std::string& text, const char* answer = "");

    std::ostream& m_out;
    std::string m_printerText, m_programText;
};
