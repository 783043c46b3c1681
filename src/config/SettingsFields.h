// SPDX-License-Identifier: MIT
#pragma once

#include "core/WorkingSettings.h"

#include <filesystem>
#include <string>

// The settings the operator keeps in section "Varie" of the configuration:
// six text fields and the PAY_L check box. Start-up, the panel, a reload and
// the command-line tools all take each field's key, default and check from
// here, so that they cannot drift apart.

// In the order start-up loads them and the panel saves them.
enum class SettingsField { Seriale, Setting, Ritardo, NonRiscIndex, NonRiscType, cartellaOstro };
inline constexpr int SettingsFieldCount = 6;

// What an entry must be before it is saved.
enum class FieldCheck {
    None,
    // A number: anything else is rejected with the field's message and the
    // stored value is put back.
    Number,
    // A folder ending in a separator: one is appended when it is missing.
    Folder,
};

struct SettingsFieldInfo {
    const char* key;
    const char* label;        // on the panel
    const char* defaultValue; // read when the key is missing
    FieldCheck check;
    const char* rejection; // the message of a rejected number; null without a number check
    // Puts the text into its working setting. A text that does not convert
    // leaves the setting as it was, except the port number, which becomes
    // empty so that the port opening can say the port is not set.
    void (*apply)(const std::string& text, WorkingSettings& settings);
    // The working setting follows every saved entry at once, not only when
    // the settings are applied.
    bool appliedOnSave;
};

const SettingsFieldInfo& settingsField(SettingsField field);

// What the PAY_L check box reads when the key is missing.
inline constexpr char PayLDefault[] = "0";

// The value stored for a field in `config`, its default when the key is
// missing.
std::string storedText(SettingsField field, const std::filesystem::path& config);
// The PAY_L text as stored, and the box it ticks: any non-zero number ticks
// it, so saving the box back never turns a "-1" written by hand into "0".
std::string storedPayLText(const std::filesystem::path& config);
bool storedPayL(const std::filesystem::path& config);

// The working settings that applying the stored fields gives, read without
// writing anything back.
WorkingSettings storedSettings(const std::filesystem::path& config);
