#include "printer/Porta.h"
// STUB
bool ApriPorta(PrinterControl&, ErrorHandler&, std::optional<int16_t>, const std::string&) { return false; }
void ChiudiPorta(PrinterControl&, ErrorHandler&) {}
void AnnullaScontrino(PrinterControl&, ErrorHandler&, std::optional<int16_t>, const std::string&) {}
void ChiudiNonFiscaleBloccato(PrinterControl&, ErrorHandler&, std::optional<int16_t>, const std::string&) {}
bool RecuperoFineCarta(PrinterControl&, ErrorHandler&, std::optional<int16_t>, const std::string&, int16_t) { return false; }
