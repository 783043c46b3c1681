// SPDX-License-Identifier: MIT
#pragma once

class ErrorHandler;

// The operator's recovery commands, shared by the window's buttons and the
// headless control. Each empties MsgErrori, lowers the error state, runs its
// own steps and files its action record.
void cmdChiudiNF(ErrorHandler& errors);
void cmdChiudiScontrino(ErrorHandler& errors);
void cmdEliminaCor(ErrorHandler& errors);
void cmdFineCarta(ErrorHandler& errors);
void cmdFineCartaNoFisc(ErrorHandler& errors);
void cmdRistampa(ErrorHandler& errors);

// "Ricrea File Log": moves both logs into Cestino under a time stamp. With
// `ask`, the operator confirms first ("File LOG"); false when cancelled.
bool RicreaLog(ErrorHandler& errors, bool ask);

// The name under which cmdRistampa copies the last receipt into the drop
// folder before renaming it to Old.txt; the polling cycle skips names that
// begin with a dot.
inline constexpr char ReprintTemporaryName[] = ".Old.txt.copia";
