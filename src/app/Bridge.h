#pragma once

#include "config/SettingsPanel.h"
#include "errors/ErrorHandler.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct SharedState;
class OperatorWindow;
class Clock;
class PrinterControl;

// The bridge without a screen: start-up, the polling tick, and the window's
// own commands that are not printer recovery (hide, exit).
class Bridge {
public:
    static constexpr int MaxBatch = 101;
    static constexpr int DefaultInterval = 500;

    Bridge(SharedState& state, OperatorWindow& window, Clock& clock, PrinterControl& control);

    // The load handler. Returns the polling interval in milliseconds.
    int avvio();
    // One tick of Timer1.
    void tick();
    // Moves the files of the drop folder into the work folder (at most
    // MaxBatch of them) and runs each one.
    void ScansioneCartella();

    // NASCONDI: clears the error, saves and applies the settings, hides.
    void cmdNascondi();
    // Esci: asks; true when the program is to end (action filed).
    bool Esci();

    SettingsPanel& panel() { return m_panel; }
    ErrorHandler& errors() { return m_errors; }
    SharedState& state() { return m_state; }
    PrinterControl& control() { return m_control; }
    int interval() const { return m_interval; }

private:
    SharedState& m_state;
    OperatorWindow& m_window;
    Clock& m_clock;
    PrinterControl& m_control;
    ErrorHandler m_errors;
    SettingsPanel m_panel;
    int m_interval = DefaultInterval;
};

// CreaCartelleDefault: creates IN and Ostro under `dir`, empties IN. Returns
// the names of the files deleted from IN.
std::vector<std::string> CreaCartelleDefault(const std::filesystem::path& dir);
