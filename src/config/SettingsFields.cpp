// SPDX-License-Identifier: MIT
#include "config/SettingsFields.h"

#include "config/IniFile.h"
#include "config/Keys.h"
#include "config/Text.h"

namespace {

void convertInto(const std::string& text, int16_t& target)
{
    if (const auto value = toInt16(text))
        target = *value;
}

constexpr SettingsFieldInfo Fields[SettingsFieldCount] = {
    {keys::Eps_COM, "Porta COM", "", FieldCheck::Number, "Porta COM errata.",
     [](const std::string& text, WorkingSettings& s) { s.portNumber = toInt16(text); }, false},
    {keys::Eps_Setting, "Parametri", "", FieldCheck::None, nullptr,
     [](const std::string& text, WorkingSettings& s) { s.portSettings = text; }, false},
    {keys::Eps_Delay, "Delay", "50", FieldCheck::Number, "Ritardo non corretto.",
     [](const std::string& text, WorkingSettings& s) { convertInto(text, s.pause); }, true},
    {keys::Eps_NonRiscIndex, "Tender Non Riscosso", "1", FieldCheck::Number,
     "Indicazione Indice Pagamento non corretta.",
     [](const std::string& text, WorkingSettings& s) { convertInto(text, s.unpaidIndex); }, false},
    {keys::Eps_NonRiscType, "Tender Non Riscosso", "1", FieldCheck::Number,
     "Indicazione Tipo Pagamento non corretta.\r\n0=cash; 1=check; 2=credit card; 3=ticket",
     [](const std::string& text, WorkingSettings& s) { convertInto(text, s.unpaidType); }, false},
    {keys::Kelmora_DIR, "Cartella", keys::DefaultKelmoraDir, FieldCheck::Folder, nullptr,
     [](const std::string& text, WorkingSettings& s) { s.dataDir = text; }, false},
};

} // namespace

const SettingsFieldInfo& settingsField(SettingsField field)
{
    return Fields[static_cast<int>(field)];
}

std::string storedText(SettingsField field, const std::filesystem::path& config)
{
    const SettingsFieldInfo& f = settingsField(field);
    return LeggiINI(keys::Section, f.key, f.defaultValue, config);
}

std::string storedPayLText(const std::filesystem::path& config)
{
    return LeggiINI(keys::Section, keys::PAY_L, PayLDefault, config);
}

bool storedPayL(const std::filesystem::path& config)
{
    const auto value = toInt16(storedPayLText(config));
    return value && *value != 0;
}

WorkingSettings storedSettings(const std::filesystem::path& config)
{
    WorkingSettings settings;
    for (int i = 0; i < SettingsFieldCount; ++i) {
        const auto field = static_cast<SettingsField>(i);
        settingsField(field).apply(storedText(field, config), settings);
    }
    return settings;
}
