// SPDX-License-Identifier: MIT
#include "printer/ResultCodes.h"

std::string resultcode::text(int32_t code)
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
    default: return "ERRORE STAMPANTE " + std::to_string(code);
    }
}
