// SPDX-License-Identifier: MIT
#include "config/SettingsPanel.h"

#include "config/IniFile.h"
#include "config/Keys.h"
#include "config/Text.h"

#include <QScopedValueRollback>

namespace {

const SettingsFieldInfo& info(SettingsPanel::Field field)
{
    return settingsField(field);
}

bool endsInSeparator(const std::string& text)
{
    return !text.empty() && (text.back() == '\\' || text.back() == '/');
}

} // namespace

SettingsPanel::SettingsPanel(std::filesystem::path configFile, WorkingSettings& settings,
                             std::function<void(const std::string& message)> reject)
    : m_configFile(std::move(configFile)), m_settings(settings), m_reject(std::move(reject))
{}

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

void SettingsPanel::save(const char* key, const std::string& value)
{
    if (ScriviINI(keys::Section, key, value, m_configFile)) {
        m_unsaved.erase(key);
        return;
    }
    // Once until the key is stored again: start-up saves what loading has
    // just saved, and an operator typing into a full disk would otherwise
    // file a record a keystroke.
    if (m_unsaved.insert(key).second && onWriteFailed)
        onWriteFailed(key);
}

void SettingsPanel::changed(Field field)
{
    switch (info(field).check) {
    case FieldCheck::None: save(info(field).key, text(field)); break;
    case FieldCheck::Folder: folderChanged(field); break;
    case FieldCheck::Number: numericChanged(field); break;
    }
}

void SettingsPanel::numericChanged(Field field)
{
    const SettingsFieldInfo& f = info(field);
    const std::string entry = text(field);
    if (isNumericText(entry)) {
        save(f.key, trimmed(entry));
        if (f.appliedOnSave)
            f.apply(entry, m_settings);
        return;
    }
    // A stored value that fails the check too is left in the field: checking
    // it again would answer with the same message and the same restore for
    // ever.
    if (m_restoring)
        return;
    if (m_reject)
        m_reject(f.rejection);
    const std::string stored = storedText(field);
    const QScopedValueRollback<bool> restoring(m_restoring, true);
    setText(field, stored);
}

void SettingsPanel::folderChanged(Field field)
{
    const std::string& entry = text(field);
    if (!endsInSeparator(entry)) {
        // The appended separator is a change of its own, which saves.
        setText(field, entry + "/");
        return;
    }
    save(info(field).key, trimmed(entry));
}

std::string SettingsPanel::storedText(Field field) const
{
    return ::storedText(field, m_configFile);
}

bool SettingsPanel::storedPayL() const
{
    return ::storedPayL(m_configFile);
}

void SettingsPanel::load()
{
    for (int i = 0; i < FieldCount; ++i) {
        const auto field = static_cast<Field>(i);
        setText(field, storedText(field));
    }
    setPayL(storedPayL());
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
    for (int i = 0; i < FieldCount; ++i) {
        const auto field = static_cast<Field>(i);
        info(field).apply(text(field), m_settings);
    }
}

// The texts as they stand, unchecked: the back-office sees the same write
// order as ever, the fields first and the box last.
void SettingsPanel::SalvaImpostazioni()
{
    for (int i = 0; i < FieldCount; ++i) {
        const auto field = static_cast<Field>(i);
        save(info(field).key, text(field));
    }
    save(keys::PAY_L, m_payL ? "1" : "0");
}
