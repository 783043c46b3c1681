// SPDX-License-Identifier: MIT
#pragma once

#include "config/IniFile.h"
#include "config/Keys.h"
#include "core/SharedState.h"
#include "errors/ErrorHandler.h"
#include "support/FakeClock.h"
#include "support/FakeWindow.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <string>
#include <vector>

// What every test of the bridge's parts starts from: a temporary program
// directory, the shared state pointed at it, the scripted window, the still
// clock and an error handler wired to those three. Printers, bridges and real
// windows are the fixtures' own.
class ProgramFolder {
public:
    ProgramFolder() : m_dir(testfiles::path(m_tmp)) { m_state.programDir = m_dir; }

    // The configuration file as section "Varie" with these key lines alone.
    void configure(const std::vector<std::string>& lines) const { writeSection(m_state.configFile(), "Varie", lines); }
    // The simulated printer's faults, lines of section "Guasti" such as
    // "SellDept=12"; written before the printer starts, it sees them at once.
    void injectFaults(const std::vector<std::string>& lines) const
    {
        writeSection(simulatorFile("guasti.ini"), "Guasti", lines);
    }
    // A key of section "Varie" as the back-office would read it.
    std::string configValue(const std::string& key, const std::string& missing) const
    {
        return LeggiINI(keys::Section, key, missing, m_state.configFile());
    }

    std::vector<std::string> fiscalLog() const { return testfiles::lines(m_state.fiscalLog()); }
    std::vector<std::string> notFiscalLog() const { return testfiles::lines(m_state.notFiscalLog()); }
    // The simulated printer keeps its roll, display, call trace and faults
    // under the program directory.
    std::filesystem::path simulatorFile(const std::string& name) const { return m_dir / "Simulatore" / name; }
    std::vector<std::string> trace() const { return testfiles::lines(simulatorFile("chiamate.log")); }

    // A log record as the handler writes it now: "reference;date time;text".
    std::string record(const std::string& reference, const std::string& text) const
    {
        return reference + ";" + dateTimeText(m_clock.now) + ";" + text;
    }

protected:
    static void writeSection(const std::filesystem::path& file, const std::string& section,
                             const std::vector<std::string>& lines)
    {
        std::string text = "[" + section + "]\r\n";
        for (const auto& line : lines)
            text += line + "\r\n";
        testfiles::write(file, text);
    }

    QTemporaryDir m_tmp;
    std::filesystem::path m_dir;
    SharedState m_state;
    FakeWindow m_window;
    FakeClock m_clock;
    ErrorHandler m_errors{m_state, m_window, m_clock};
};

// The rig as a fixture of its own.
class ProgramFolderTest : public ::testing::Test, public ProgramFolder {};
