#include "commands/Interprete.h"
// STUB
void EseguiFileComandi(PrinterControl&, ErrorHandler&, std::optional<int16_t>, const std::string&,
                       const std::filesystem::path&, int16_t, int16_t) {}
