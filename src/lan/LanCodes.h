// SPDX-License-Identifier: MIT
#pragma once

#include "printer/ResultCodes.h"

#include <cstdint>
#include <string>

// Result codes of the LAN printer control: the codes every control shares
// (printer/ResultCodes.h; 5 also for a department the printer has not
// programmed), and the LAN printer's own.
//
//   code  text
//   ----  ---------------------------------------------------------------
//     20  ESITO INCERTO                 the document was sent whole and no usable reply came (none in
//                                       time, cut off, unreadable, HTTP 5xx, the fiscal unit silent): it
//                                       may or may not be printed
//     21  ERRORE DI COMUNICAZIONE       the document did not reach the service (no connection, a send cut
//                                       short) or the service refused the request (HTTP 4xx): safe to resend
//     22  CERTIFICATO NON VALIDO        a TLS failure, or a certificate other than the pinned one
//     23  DOCUMENTO RIFIUTATO           the service could not read the document
//     24  STAMPANTE NON DISPONIBILE     the service could not reach the printer's fiscal unit
//     25  MEMORIA ESAURITA              the service has no memory left
//     26  ERRORE PAGAMENTO ELETTRONICO
//     27  ERRORE STAMPANTE              any other failure the printer reports
//     28  IMPORTO NON FISCALE NON GESTITO  AmountEntry: the service has no element for it
namespace lancode {
using namespace resultcode;
constexpr int16_t NoAnswer = 20;
constexpr int16_t Communication = 21;
constexpr int16_t Certificate = 22;
constexpr int16_t DocumentRefused = 23;
constexpr int16_t Unavailable = 24;
constexpr int16_t OutOfMemory = 25;
constexpr int16_t ElectronicPayment = 26;
constexpr int16_t PrinterError = 27;
constexpr int16_t AmountEntryUnsupported = 28;

// The contract's text of `code` (plain ASCII).
std::string text(int32_t code);
} // namespace lancode
