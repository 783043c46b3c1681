#pragma once

#include "config/WorkingSettings.h"

#include <array>
#include <filesystem>
#include <functional>
#include <string>

// The model of the settings panel: the six text fields and the PAY_L check
// box, each saved as soon as it changes (after the numeric check where the
// field holds a number), and the working settings copied from them.
class SettingsPanel {
public:
    enum class Field { Seriale, Setting, Ritardo, NonRiscIndex, NonRiscType, cartellaOstro };
    static constexpr int FieldCount = 6;

    // `reject` shows a rejected entry's message (OK only, program title) and
    // returns when the operator has closed it.
    SettingsPanel(std::filesystem::path configFile, WorkingSettings& settings,
                  std::function<void(const std::string& message)> reject);

    // Sets a field's text as a keystroke or the program would; when the text
    // changes, the field's change handler runs (check, save, restore).
    void setText(Field field, const std::string& text);
    const std::string& text(Field field) const;

    // Click handler of the check box (also when the program sets it).
    void setPayL(bool ticked);
    bool payL() const { return m_payL; }

    void ApplicaImpostazioni();
    void SalvaImpostazioni();

    // Called after the model changed a field's text (a restore or an
    // appended separator), so a view can follow.
    std::function<void(Field)> onTextChanged;

private:
    void changed(Field field);

    std::filesystem::path m_configFile;
    WorkingSettings& m_settings;
    std::function<void(const std::string&)> m_reject;
    std::array<std::string, FieldCount> m_texts;
    bool m_payL = false;
    int m_restoring = 0;
};
