// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The settings the panel keeps in memory for the printer operations.
struct WorkingSettings {
    // Empty when the port field holds no number: the port opening then
    // reports the configuration message instead of trying a port.
    std::optional<int16_t> portNumber;
    std::string portSettings;
    int16_t pause = 50; // hundredths of a second between looks at a busy printer
    int16_t unpaidType = 1;
    int16_t unpaidIndex = 1;
    std::string dataDir; // as stored: may end in "\" or "/"
};
