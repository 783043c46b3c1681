#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

class PrinterControl;
class ErrorHandler;

// How long the interpreter waits for a busy printer before it gives up on
// the file and reports it.
inline constexpr std::chrono::seconds BusyWaitBound{60};

// Runs one command file record by record against the printer, inside one
// opening of the port; stops at the first record that fails. With the error
// state raised, no record runs and the file's discard is recorded in its log.
void EseguiFileComandi(PrinterControl& control, ErrorHandler& errors, std::optional<int16_t> portNumber,
                       const std::string& portSettings, const std::filesystem::path& file, int16_t unpaidType,
                       int16_t unpaidIndex);
