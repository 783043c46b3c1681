// SPDX-License-Identifier: MIT
#pragma once

// Names of the program folder's files and folders that the back-office
// reads or writes too.
namespace files {
inline constexpr char ConfigFile[] = "_Configurazione.ini";
inline constexpr char FiscalLog[] = "FiscalError.log";
inline constexpr char NotFiscalLog[] = "NotFiscalError.log";
inline constexpr char DropFolder[] = "Ostro";
inline constexpr char WorkFolder[] = "IN";
} // namespace files
