// SPDX-License-Identifier: MIT
#include "app/ConsoleWindow.h"

#include "config/Text.h"

#include <ostream>

namespace {

// One terminal line: line breaks become " | ", other control characters "?",
// so no text can drive the terminal or pass for a second line.
std::string oneLine(const std::string& cp1252)
{
    QString text = fromCp1252(cp1252);
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" | "));
    text.replace(QLatin1Char('\r'), QStringLiteral(" | "));
    text.replace(QLatin1Char('\n'), QStringLiteral(" | "));
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    return text.toStdString();
}

} // namespace

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
