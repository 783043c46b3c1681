// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <memory>
#include <string>

class Clock;
class PrinterControl;

// Which fiscal printer a program folder's bridge drives, stored in a file of
// its own, Stampante.ini (never in _Configurazione.ini, which the
// back-office owns). No file means the simulated printer.
//   [Stampante]
//   Tipo=simulatore | lan
//   Indirizzo=http://HOST[:PORT] or https://HOST[:PORT]
//   Impronta=the SHA-256 fingerprint of the https certificate pinned by init
struct PrinterChoice {
    static constexpr const char* FileName = "Stampante.ini";
    static constexpr const char* SimulatorWord = "simulatore";

    enum class Kind { Simulator, Lan };
    Kind kind = Kind::Simulator;
    std::string address;     // Lan: as given to init
    std::string fingerprint; // Lan over https
    // Set when the file could not be read into a usable choice (English).
    std::string problem;

    // "stampante simulata" or "stampante LAN http://..." (with the
    // fingerprint over https), for ctl stato and the About box.
    std::string describe() const;
};

PrinterChoice readPrinterChoice(const std::filesystem::path& programDir);

// The `--printer` of init: "simulatore", or an http(s) address. Over https
// the certificate the printer shows now is pinned. Says on `out` what was
// stored (the fingerprint included); false with the reason on `err`.
bool storePrinterChoice(const std::filesystem::path& programDir, const std::string& printer, std::ostream& out,
                        std::ostream& err, int timeoutMs = 10000);

// The control the choice asks for, on `clock`; null with the reason on `err`.
std::unique_ptr<PrinterControl> makeChosenPrinter(const std::filesystem::path& programDir, Clock& clock,
                                                  std::ostream& err);
