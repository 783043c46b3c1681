// SPDX-License-Identifier: MIT
#pragma once

#include "core/ProgramFiles.h"

// Names shared with the back-office program: files, the section and its keys.
namespace keys {
inline constexpr const auto& ConfigFile = files::ConfigFile;
inline constexpr char ExchangeFile[] = "_local.ini";
inline constexpr char Section[] = "Varie";

inline constexpr char intervalTimer[] = "intervalTimer";
inline constexpr char Eps_CodError[] = "Eps_CodError";
inline constexpr char Eps_DescError[] = "Eps_DescError";
inline constexpr char Kelmora_CORR[] = "Kelmora_CORR";
inline constexpr char Eps_COM[] = "Eps_COM";
inline constexpr char Eps_Setting[] = "Eps_Setting";
inline constexpr char Eps_Delay[] = "Eps_Delay";
inline constexpr char Eps_NonRiscIndex[] = "Eps_NonRiscIndex";
inline constexpr char Eps_NonRiscType[] = "Eps_NonRiscType";
inline constexpr char Kelmora_DIR[] = "Kelmora_DIR";
inline constexpr char PAY_L[] = "PAY_L";
inline constexpr char Eps_Vuoto[] = "Eps_Vuoto";
inline constexpr char DECIMALI[] = "DECIMALI";
inline constexpr char killCorr[] = "killCorr";
inline constexpr char killCorrID[] = "killCorrID";

inline constexpr char DefaultKelmoraDir[] = "C:\\KELMORA\\";

// The port values the simulated printer works with; `tessiro init` stores
// them under Eps_COM and Eps_Setting.
inline constexpr char SimulatorPort[] = "1";
inline constexpr char SimulatorPortSettings[] = "9600,N,8,1";
} // namespace keys
