#include "config/SettingsPanel.h"
// STUB
SettingsPanel::SettingsPanel(std::filesystem::path f, WorkingSettings& s, std::function<void(const std::string&)> r)
    : m_configFile(std::move(f)), m_settings(s), m_reject(std::move(r)) {}
void SettingsPanel::setText(Field f, const std::string& t) { m_texts[static_cast<int>(f)] = t; }
const std::string& SettingsPanel::text(Field f) const { return m_texts[static_cast<int>(f)]; }
void SettingsPanel::setPayL(bool t) { m_payL = t; }
void SettingsPanel::ApplicaImpostazioni() {}
void SettingsPanel::SalvaImpostazioni() {}
void SettingsPanel::changed(Field) {}
