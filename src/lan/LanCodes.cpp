// SPDX-License-Identifier: MIT
#include "lan/LanCodes.h"

std::string lancode::text(int32_t code)
{
    switch (code) {
    case Ok: return "OK";
    case PortClosed: return "PORTA NON APERTA";
    case PaperEnd: return "FINE CARTA";
    case WrongSequence: return "SEQUENZA ERRATA";
    case InvalidData: return "DATI NON VALIDI";
    case UnknownDepartment: return "REPARTO INESISTENTE";
    case AmountTooLarge: return "IMPORTO FUORI LIMITE";
    case NegativeTotal: return "TOTALE NEGATIVO";
    case NonCashExcess: return "PAGAMENTO NON CONTANTE SUPERIORE";
    case NoAnswer:
        return "STAMPANTE NON RISPONDE: lo scontrino potrebbe essere stato stampato oppure no, controllare la carta "
               "prima di ripeterlo";
    case Communication: return "ERRORE DI COMUNICAZIONE CON LA STAMPANTE";
    case Certificate: return "CERTIFICATO DELLA STAMPANTE NON VALIDO";
    case DocumentRefused: return "DOCUMENTO RIFIUTATO DALLA STAMPANTE";
    case Unavailable: return "STAMPANTE NON DISPONIBILE";
    case OutOfMemory: return "MEMORIA DELLA STAMPANTE ESAURITA";
    case ElectronicPayment: return "ERRORE PAGAMENTO ELETTRONICO";
    case PrinterError: return "ERRORE STAMPANTE";
    case AmountEntryUnsupported: return "IMPORTO NON FISCALE NON GESTITO DALLA STAMPANTE LAN";
    default: return "ERRORE STAMPANTE " + std::to_string(code);
    }
}
