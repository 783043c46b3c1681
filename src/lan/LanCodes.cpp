// SPDX-License-Identifier: MIT
#include "lan/LanCodes.h"

std::string lancode::text(int32_t code)
{
    switch (code) {
    case NoAnswer:
        return "ESITO INCERTO: il documento potrebbe essere stato stampato oppure no, verificare prima di "
               "reinviare";
    case Communication: return "ERRORE DI COMUNICAZIONE CON LA STAMPANTE: documento non ricevuto";
    case Certificate: return "CERTIFICATO DELLA STAMPANTE NON VALIDO";
    case DocumentRefused: return "DOCUMENTO RIFIUTATO DALLA STAMPANTE";
    case Unavailable: return "STAMPANTE NON DISPONIBILE";
    case OutOfMemory: return "MEMORIA DELLA STAMPANTE ESAURITA";
    case ElectronicPayment: return "ERRORE PAGAMENTO ELETTRONICO";
    case PrinterError: return "ERRORE STAMPANTE";
    case AmountEntryUnsupported: return "IMPORTO NON FISCALE NON GESTITO DALLA STAMPANTE LAN";
    default: return resultcode::text(code);
    }
}
