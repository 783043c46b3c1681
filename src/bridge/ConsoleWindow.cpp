// SPDX-License-Identifier: MIT
#include "bridge/ConsoleWindow.h"

#include "bridge/TerminalText.h"
#include "config/Text.h"

#include <ostream>

ConsoleWindow::ConsoleWindow(std::ostream& out, bool journal) : m_out(out), m_journal(journal) {}

void ConsoleWindow::say(const std::string& title, const std::string& text, const char* answer)
{
    // syslog's warning: an operator's message box nobody sees is worth a look.
    if (m_journal)
        m_out << "<4>";
    m_out << "tessiro[AVVISO] " << oneLine(title.empty() ? std::string(ProgramTitle) : title) << ": " << oneLine(text)
          << answer << std::endl;
}

void ConsoleWindow::inform(const std::string& title, const std::string& text)
{
    say(title, text);
}

bool ConsoleWindow::askOkCancel(const std::string& title, const std::string& text)
{
    say(title, text, " [OK/Annulla] -> Annulla");
    return false;
}

bool ConsoleWindow::askYesNo(const std::string& title, const std::string& text)
{
    say(title, text, " [Sì/No] -> No");
    return false;
}
