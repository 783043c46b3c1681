// SPDX-License-Identifier: MIT
#pragma once

#include "printer/ResultCodes.h"

#include <cstdint>
#include <string>

// Result codes of the simulated fiscal printer: the codes every control
// shares (printer/ResultCodes.h), and one of its own.
//
//   code  text                                   when
//   ----  -------------------------------------  ------------------------------------
//      9  ERRORE MEMORIA STAMPANTE               the journal or state file cannot be written
//
// Any other code (one injected through guasti.ini) reads "ERRORE STAMPANTE"
// followed by the code.
namespace simcode {
using namespace resultcode;
constexpr int16_t StorageFailure = 9;

// The text of `code`: plain ASCII, so it reads the same in windows-1252.
std::string text(int32_t code);
} // namespace simcode
