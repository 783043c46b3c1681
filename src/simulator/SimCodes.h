// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

// Result codes of the simulated fiscal printer and their texts.
//
//   code  text                                   when
//   ----  -------------------------------------  ------------------------------------
//      0  (done)
//      1  PORTA NON APERTA                       a printing call on a closed port
//      2  FINE CARTA                             paper end, until PaperEndRecovery
//      3  SEQUENZA ERRATA                        a call the receipt state does not allow
//      4  DATI NON VALIDI                        quantity, price, line number out of range
//      5  REPARTO INESISTENTE                    department outside 1..99
//      6  IMPORTO FUORI LIMITE                   an amount or total above 9.999.999,99
//      7  TOTALE NEGATIVO                        a return or discount beyond the subtotal
//      8  PAGAMENTO NON CONTANTE SUPERIORE       a non-cash payment above the amount due
//      9  ERRORE MEMORIA STAMPANTE               the journal or state file cannot be written
//
// Any other code (one injected through guasti.ini) reads "ERRORE STAMPANTE"
// followed by the code.
namespace simcode {
constexpr int16_t Ok = 0;
constexpr int16_t PortClosed = 1;
constexpr int16_t PaperEnd = 2;
constexpr int16_t WrongSequence = 3;
constexpr int16_t InvalidData = 4;
constexpr int16_t UnknownDepartment = 5;
constexpr int16_t AmountTooLarge = 6;
constexpr int16_t NegativeTotal = 7;
constexpr int16_t NonCashExcess = 8;
constexpr int16_t StorageFailure = 9;

// Level of every error event the simulator raises.
constexpr int16_t EventLevel = 2;

// The text of `code`: plain ASCII, so it reads the same in windows-1252.
std::string text(int32_t code);
} // namespace simcode
