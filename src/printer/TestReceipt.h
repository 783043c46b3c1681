// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>

class PrinterControl;
class ErrorHandler;

// Prints the sample fiscal receipt of the TEST button with the port settings
// read from `configFile`, the port open for the whole receipt. Every
// step runs whatever the earlier ones did; each failure is reported by its
// own operation. True when the port opened and every step succeeded.
// The name in parentheses keeps GoogleTest's TEST macro from expanding it;
// a file that includes GoogleTest calls it as (TEST)(control, errors, file).
bool(TEST)(PrinterControl& control, ErrorHandler& errors, const std::filesystem::path& configFile);
