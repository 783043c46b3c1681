// SPDX-License-Identifier: MIT
#pragma once

#include "printer/Currency.h"

#include <QString>

#include <string>

class Clock;

// The layout of the simulated printer's paper roll (Simulatore/giornale.txt):
// lines of a fixed width, amounts right-aligned with a decimal comma, UTF-8.
namespace simjournal {

constexpr int Width = 40;

// A receipt text from the control's windows-1252 bytes, with control
// characters printed as blanks.
QString printable(const std::string& cp1252);

// "1234,50", "-0,05": two decimals, halves to even.
QString amount(Currency value);

// Each of these returns one or more complete lines, LF ended.
std::string text(const QString& text); // cut at the width
std::string centered(const QString& text);
std::string item(const QString& label, const QString& value); // value right-aligned
std::string item(const QString& label, Currency value);
std::string rule(char c = '-');

// The head of every receipt and document.
std::string header();

} // namespace simjournal

// The roll's dated lines, dated by the clock it is given.
class SimJournal {
public:
    // `clock` outlives the journal.
    explicit SimJournal(const Clock& clock) : m_clock(clock) {}

    // Receipt or document number with the clock's local date and time:
    // "SCONTRINO N. 0001       08-12-2026 14:05", 40 columns.
    std::string numbered(const QString& label, int number) const;

private:
    const Clock& m_clock;
};
