// SPDX-License-Identifier: MIT
#include "app/ConsoleWindow.h"

#include "config/Text.h"

#include <ostream>

namespace {

// One console line per line of the text: CR LF and lone CRs become line ends.
std::string forConsole(const std::string& cp1252)
{
    QString text = fromCp1252(cp1252);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text.toStdString();
}

} // namespace

ConsoleWindow::ConsoleWindow(std::ostream& out) : m_out(out) {}

void ConsoleWindow::say(const std::string& heading, const std::string& text, const char* answer)
{
    m_out << "Tessiro [" << forConsole(heading) << "] " << forConsole(text) << answer << std::endl;
}

void ConsoleWindow::setPrinterErrorText(const std::string& text)
{
    m_printerText = text;
    if (!text.empty())
        say("MsgErrori", text);
}

void ConsoleWindow::setProgramErrorText(const std::string& text)
{
    m_programText = text;
    if (!text.empty())
        say("MsgErrore_NOPrinter", text);
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
