// SPDX-License-Identifier: MIT
#pragma once

#include "config/SettingsFields.h"
#include "core/WorkingSettings.h"

#include <array>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

// The model of the settings panel: the six text fields and the PAY_L check
// box, each saved as soon as it changes (after the field's check), and the
// working settings copied from them. Keys, defaults and checks are those of
// the settings fields (SettingsFields.h).
class SettingsPanel {
public:
    using Field = SettingsField;
    static constexpr int FieldCount = SettingsFieldCount;

    // Texts of the panel for a view.
    static constexpr char PayLLabel[] = "PaymentLight";
    static constexpr char PayLCaption[] = "Check1";
    static constexpr char NonRiscTypeToolTip[] = "0=cash; 1=check; 2=credit card; 3=ticket";

    // `reject` shows a rejected entry's message (OK only, program title) and
    // returns when the operator has closed it.
    SettingsPanel(std::filesystem::path configFile, WorkingSettings& settings,
                  std::function<void(const std::string& message)> reject);

    // Sets a field's text as a keystroke or the program would; when the text
    // changes, the field's change handler runs (check, save, restore).
    void setText(Field field, const std::string& text);
    const std::string& text(Field field) const;

    // Click handler of the check box (also when the program sets it); runs
    // when the value changes.
    void setPayL(bool ticked);
    bool payL() const { return m_payL; }

    // Start-up's load: sets each field, then the check box, to the stored
    // value as the program would, so their change handlers run (a stored
    // value that fails its check is rejected, a folder gets its separator).
    void load();

    // Copies the six fields into the working settings; a text that does not
    // convert leaves its working setting as it was (the port number becomes
    // empty instead, so the port opening can say the port is not set).
    void ApplicaImpostazioni();
    // Writes all seven fields to the configuration file, texts unchanged.
    void SalvaImpostazioni();

    // The value stored in the configuration for a field (its default when
    // the key is missing), and for the check box (any non-zero number ticks
    // it, so saving it back never turns a "-1" written by hand into "0").
    std::string storedText(Field field) const;
    bool storedPayL() const;

    // Makes the fields show what the configuration holds, without running
    // their change handlers: nothing is trimmed or written back and no
    // message is shown, so a value written outside the window stays as it
    // was written. A field for which `skip` answers true (the one the
    // operator is editing) is left alone. onTextChanged and onPayLChanged
    // run for what changed. True when anything changed.
    bool followFile(const std::function<bool(Field)>& skip = {});

    // Key of section "Varie" a field is saved to, and its label on the panel.
    static const char* keyOf(Field field);
    static const char* labelOf(Field field);

    // Called after a field's text changed, whoever changed it (a keystroke,
    // the program, a restore or an appended separator), so a view can follow.
    // It runs before the field's change handler.
    std::function<void(Field)> onTextChanged;
    // Called after the check box value changed.
    std::function<void()> onPayLChanged;
    // Called with the key of a field the configuration refused to store,
    // once until that key is stored again.
    std::function<void(const std::string& key)> onWriteFailed;

private:
    void changed(Field field);
    void numericChanged(Field field);
    void folderChanged(Field field);
    void save(const char* key, const std::string& value);

    std::filesystem::path m_configFile;
    WorkingSettings& m_settings;
    std::function<void(const std::string&)> m_reject;
    std::array<std::string, FieldCount> m_texts;
    bool m_payL = false;
    bool m_restoring = false;
    // Keys whose last save the configuration refused, reported once.
    std::set<std::string> m_unsaved;
};
