// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

// The result codes every printer control of the bridge answers alike, so
// the back-office and the logs see the same code for the same fault
// whichever printer runs. Each control adds codes of its own above them.
//
//   code  text                                   when
//   ----  -------------------------------------  ------------------------------------
//      0  (done)
//      1  PORTA NON APERTA                       a printing call on a closed port
//      2  FINE CARTA                             paper end (or cover open)
//      3  SEQUENZA ERRATA                        a call the receipt state does not allow
//      4  DATI NON VALIDI                        quantity, price, line number out of range
//      5  REPARTO INESISTENTE                    department outside 1..99
//      6  IMPORTO FUORI LIMITE                   an amount or total above the limits
//      7  TOTALE NEGATIVO                        a return or discount beyond the subtotal
//      8  PAGAMENTO NON CONTANTE SUPERIORE       a non-cash payment above the amount due
namespace resultcode {
constexpr int16_t Ok = 0;
constexpr int16_t PortClosed = 1;
constexpr int16_t PaperEnd = 2;
constexpr int16_t WrongSequence = 3;
constexpr int16_t InvalidData = 4;
constexpr int16_t UnknownDepartment = 5;
constexpr int16_t AmountTooLarge = 6;
constexpr int16_t NegativeTotal = 7;
constexpr int16_t NonCashExcess = 8;

// Level of every error event a control raises.
constexpr int16_t EventLevel = 2;

// The text of one of the codes above (plain ASCII, so it reads the same in
// windows-1252); "ERRORE STAMPANTE" and the code for any other.
std::string text(int32_t code);
} // namespace resultcode
