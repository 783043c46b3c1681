// SPDX-License-Identifier: MIT
#include "config/SettingsPanel.h"

#include "config/IniFile.h"
#include "config/Keys.h"
#include "config/Text.h"

namespace {

struct FieldInfo {
    const char* key;
    const char* label;
    const char* rejection;      // message of a failed numeric check; null: no check
    const char* restoreDefault; // read with the key to restore a rejected entry
};

constexpr FieldInfo Fields[SettingsPanel::FieldCount] = {
    {keys::Eps_COM, "Porta COM", "Porta COM errata.", ""},
    {keys::Eps_Setting, "Parametri", nullptr, nullptr},
    {keys::Eps_Delay, "Delay", "Ritardo non corretto.", "50"},
    {keys::Eps_NonRiscIndex, "Tender Non Riscosso", "Indicazione Indice Pagamento non corretta.", "1"},
    {keys::Eps_NonRiscType, "Tender Non Riscosso",
     "Indicazione Tipo Pagamento non corretta.\r\n0=cash; 1=check; 2=credit card; 3=ticket", "1"},
    {keys::Kelmora_DIR, "Cartella", nullptr, nullptr},
};

const FieldInfo& info(SettingsPanel::Field field)
{
    return Fields[static_cast<int>(field)];
}

bool endsInSeparator(const std::string& text)
{
    return !text.empty() && (text.back() == '\\' || text.back() == '/');
}

void convertInto(const std::string& text, int16_t& target)
{
    if (const auto value = toInt16(text))
        target = *value;
}

} // namespace

SettingsPanel::SettingsPanel(std::filesystem::path configFile, WorkingSettings& settings,
                             std::function<void(const std::string& message)> reject)
    : m_configFile(std::move(configFile)), m_settings(settings), m_reject(std::move(reject))
{
}

const char* SettingsPanel::keyOf(Field field)
{
    return info(field).key;
}

const char* SettingsPanel::labelOf(Field field)
{
    return info(field).label;
}

void SettingsPanel::setText(Field field, const std::string& text)
{
    std::string& current = m_texts[static_cast<int>(field)];
    if (current == text)
        return;
    current = text;
    if (onTextChanged)
        onTextChanged(field);
    changed(field);
}

const std::string& SettingsPanel::text(Field field) const
{
    return m_texts[static_cast<int>(field)];
}

void SettingsPanel::setPayL(bool ticked)
{
    if (m_payL == ticked)
        return;
    m_payL = ticked;
    if (onPayLChanged)
        onPayLChanged();
    save(keys::PAY_L, m_payL ? "1" : "0");
}

bool SettingsPanel::save(const char* key, const std::string& value) const
{
    return ScriviINI(keys::Section, key, value, m_configFile);
}

void SettingsPanel::changed(Field field)
{
    switch (field) {
    case Field::Setting:
        save(keys::Eps_Setting, text(field));
        break;
    case Field::cartellaOstro:
        cartellaChanged();
        break;
    default:
        numericChanged(field);
        break;
    }
}

void SettingsPanel::numericChanged(Field field)
{
    const FieldInfo& f = info(field);
    const std::string entry = text(field);
    if (isNumericText(entry)) {
        save(f.key, trimmed(entry));
        if (field == Field::Ritardo)
            convertInto(entry, m_settings.pause);
        return;
    }
    // A stored value that fails the check too is left in the field: checking
    // it again would answer with the same message and the same restore for
    // ever.
    if (m_restoring > 0)
        return;
    if (m_reject)
        m_reject(f.rejection);
    const std::string stored = LeggiINI(keys::Section, f.key, f.restoreDefault, m_configFile);
    ++m_restoring;
    setText(field, stored);
    --m_restoring;
}

void SettingsPanel::cartellaChanged()
{
    const std::string& entry = text(Field::cartellaOstro);
    if (!endsInSeparator(entry)) {
        // The appended separator is a change of its own, which saves.
        setText(Field::cartellaOstro, entry + "/");
        return;
    }
    save(keys::Kelmora_DIR, trimmed(entry));
}

std::string SettingsPanel::storedText(Field field) const
{
    const char* fallback = field == Field::cartellaOstro ? keys::DefaultKelmoraDir
                           : info(field).restoreDefault  ? info(field).restoreDefault
                                                         : "";
    return LeggiINI(keys::Section, info(field).key, fallback, m_configFile);
}

bool SettingsPanel::storedPayL() const
{
    const auto value = toInt16(LeggiINI(keys::Section, keys::PAY_L, 0LL, m_configFile));
    return value && *value != 0;
}

bool SettingsPanel::followFile(const std::function<bool(Field)>& skip)
{
    bool any = false;
    for (int i = 0; i < FieldCount; ++i) {
        const auto field = static_cast<Field>(i);
        if (skip && skip(field))
            continue;
        std::string stored = storedText(field);
        if (m_texts[i] == stored)
            continue;
        m_texts[i] = std::move(stored);
        any = true;
        if (onTextChanged)
            onTextChanged(field);
    }
    const bool payL = storedPayL();
    if (payL != m_payL) {
        m_payL = payL;
        any = true;
        if (onPayLChanged)
            onPayLChanged();
    }
    return any;
}

void SettingsPanel::ApplicaImpostazioni()
{
    m_settings.portNumber = toInt16(text(Field::Seriale));
    m_settings.portSettings = text(Field::Setting);
    convertInto(text(Field::Ritardo), m_settings.pause);
    convertInto(text(Field::NonRiscType), m_settings.unpaidType);
    convertInto(text(Field::NonRiscIndex), m_settings.unpaidIndex);
    m_settings.dataDir = text(Field::cartellaOstro);
}

void SettingsPanel::SalvaImpostazioni()
{
    save(keys::Eps_COM, text(Field::Seriale));
    save(keys::Eps_Setting, text(Field::Setting));
    save(keys::Eps_Delay, text(Field::Ritardo));
    save(keys::Eps_NonRiscIndex, text(Field::NonRiscIndex));
    save(keys::Eps_NonRiscType, text(Field::NonRiscType));
    save(keys::Kelmora_DIR, text(Field::cartellaOstro));
    save(keys::PAY_L, m_payL ? "1" : "0");
}
