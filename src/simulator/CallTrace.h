// SPDX-License-Identifier: MIT
#pragma once

#include "printer/Currency.h"

#include <cstdint>
#include <string>
#include <string_view>

// Lines of the simulator's call trace (Simulatore/chiamate.log), one per
// interaction with the control. Installers and tests read it, so the forms
// are fixed:
//   SellDept(1, "PANE", 1.5000, 3) -> 0     a call with its result
//   OpenPort()                              a call without result
//   ComPort = 1                             a property put
//   Busy -> false                           a property get
//   Event9(2, 3)                            the error event
//   OpenPort() !! "Porta occupata"          a raised control failure
//   # giornale.txt completato ...           a note of the simulator itself
//                                           (a repair, a bad fault file)
// Texts arrive as windows-1252 bytes and are written as UTF-8.
namespace calltrace {

std::string value(int16_t v);
std::string value(int32_t v);
std::string value(bool v);
// Exactly four decimals and a point: 1.5000, -0.0100.
std::string value(Currency v);
// A quantity: the decimal the single was written from, rounded halves up
// to three decimals and written with all three: 2.000, 0.500, 1.005.
std::string value(float v);
// In double quotes, with \\ \" \r \n \t escaped.
std::string value(const std::string& cp1252);

// "a, b, c" from the values of the arguments in call order.
template <typename... Args>
std::string args(const Args&... a)
{
    std::string out;
    ((out += (out.empty() ? "" : ", ") + value(a)), ...);
    return out;
}

std::string call(std::string_view name, std::string_view args, std::string_view result);
std::string call(std::string_view name, std::string_view args);
std::string put(std::string_view name, std::string_view value);
std::string get(std::string_view name, std::string_view value);
std::string event(int16_t level, int32_t code);
std::string failure(std::string_view name, std::string_view args, const std::string& description);

} // namespace calltrace
