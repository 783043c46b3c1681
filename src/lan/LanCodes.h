// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

// Result codes of the LAN printer control. 0 to 8 mean what the simulated
// printer's codes mean, so the back-office and the logs see the same codes
// for the same faults; the others are the LAN printer's own.
//
//   code  text
//   ----  ---------------------------------------------------------------
//      1  PORTA NON APERTA              a printing call with the port closed
//      2  FINE CARTA                    paper end or cover open
//      3  SEQUENZA ERRATA               a call the document's state does not allow
//      4  DATI NON VALIDI               a value the printer refuses
//      5  REPARTO INESISTENTE           department outside 1..99, or not programmed
//      6  IMPORTO FUORI LIMITE          an amount above the printer's limits
//      7  TOTALE NEGATIVO               a return or discount beyond the subtotal
//      8  PAGAMENTO NON CONTANTE SUPERIORE
//     20  STAMPANTE NON RISPONDE        no reply in time: the document may or may not be printed
//     21  ERRORE DI COMUNICAZIONE       connection refused, HTTP error, a reply that is not the service's
//     22  CERTIFICATO NON VALIDO        a TLS failure, or a certificate other than the pinned one
//     23  DOCUMENTO RIFIUTATO           the service could not read the document
//     24  STAMPANTE NON DISPONIBILE     the service could not reach the printer's fiscal unit
//     25  MEMORIA ESAURITA              the service has no memory left
//     26  ERRORE PAGAMENTO ELETTRONICO
//     27  ERRORE STAMPANTE              any other failure the printer reports
//     28  IMPORTO NON FISCALE NON GESTITO  AmountEntry: the service has no element for it
namespace lancode {
constexpr int16_t Ok = 0;
constexpr int16_t PortClosed = 1;
constexpr int16_t PaperEnd = 2;
constexpr int16_t WrongSequence = 3;
constexpr int16_t InvalidData = 4;
constexpr int16_t UnknownDepartment = 5;
constexpr int16_t AmountTooLarge = 6;
constexpr int16_t NegativeTotal = 7;
constexpr int16_t NonCashExcess = 8;
constexpr int16_t NoAnswer = 20;
constexpr int16_t Communication = 21;
constexpr int16_t Certificate = 22;
constexpr int16_t DocumentRefused = 23;
constexpr int16_t Unavailable = 24;
constexpr int16_t OutOfMemory = 25;
constexpr int16_t ElectronicPayment = 26;
constexpr int16_t PrinterError = 27;
constexpr int16_t AmountEntryUnsupported = 28;

// Level of every error event the LAN control raises.
constexpr int16_t EventLevel = 2;

// The contract's text of `code` (plain ASCII).
std::string text(int32_t code);
} // namespace lancode
