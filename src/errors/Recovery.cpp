#include "errors/Recovery.h"
// STUB
void cmdChiudiNF(ErrorHandler&) {}
void cmdChiudiScontrino(ErrorHandler&) {}
void cmdEliminaCor(ErrorHandler&) {}
void cmdFineCarta(ErrorHandler&) {}
void cmdFineCartaNoFisc(ErrorHandler&) {}
void cmdRistampa(ErrorHandler&) {}
bool RicreaLog(ErrorHandler&, bool) { return false; }
