// SPDX-License-Identifier: MIT
#pragma once

#include "printer/Currency.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

// Values as the LAN printer's XML service takes them: amounts with two
// decimals and a decimal comma, quantities with up to three decimals,
// texts in the characters every printer of the series prints.
namespace lanformat {

// Cents, rounded half up (away from zero), as the printer rounds.
int64_t centsHalfUp(Currency value);
// Thousandths of a quantity that arrived as a single float; nullopt when it
// is not a finite number or does not fit.
std::optional<int64_t> quantityThousandths(float quantity);
// Cents of price x quantity, rounded half up: the printer's line amount.
int64_t lineCents(int64_t priceCents, int64_t quantityThousandths);

// "1,10", "-0,05", "1234,00".
QString amount(int64_t cents);
// "2", "0,5", "1,234": three decimals at most, no trailing zeros.
QString quantity(int64_t thousandths);

// A text of the back-office (windows-1252 bytes) in printable ASCII and the
// euro sign: accents are dropped from their letters, control characters
// become blanks, anything else '?'. Cut to `maxLength` characters when
// it is not 0.
QString text(const std::string& cp1252, int maxLength = 0);

} // namespace lanformat
