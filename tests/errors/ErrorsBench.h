// SPDX-License-Identifier: MIT
#pragma once

#include "printer/ErrorLink.h"
#include "printer/Porta.h"
#include "simulator/SimulatedPrinter.h"
#include "support/ProgramFolder.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// The program folder with the simulated printer around its error handler.
// The printer is made on first use, so a test can inject its faults first.
class ErrorsBench : public ProgramFolderTest {
protected:
    ErrorsBench()
    {
        state.settings.portNumber = 3;
        state.settings.portSettings = "9600,n,8,1";
        state.settings.dataDir = "Kelmora\\";
    }

    SimulatedPrinter& printer()
    {
        if (!m_printer) {
            m_printer = std::make_unique<SimulatedPrinter>(root);
            // The void a sequence error asks for, on this printer, without
            // its error event: connectEvent() adds that.
            errors.onSequenceError = [this] {
                AnnullaScontrino(*m_printer, errors, state.settings.portNumber, state.settings.portSettings);
            };
        }
        return *m_printer;
    }
    // Joins the printer and the handler as the bridge does: the error event
    // too.
    void connectEvent() { m_link = std::make_unique<ErrorLink>(printer(), errors, state.settings); }
    void fault(const std::string& name, const std::string& value)
    {
        std::filesystem::create_directories(root / "Simulatore");
        ASSERT_TRUE(ScriviINI("Guasti", name, value, root / "Simulatore" / "guasti.ini"));
    }

    // The operation names of the trace, in order: "ComPort = 3" -> "ComPort".
    std::vector<std::string> calls() const
    {
        std::vector<std::string> names;
        for (const std::string& line : trace()) {
            const auto end = std::find_if(line.begin(), line.end(),
                                          [](unsigned char c) { return !std::isalnum(c) && c != '_'; });
            names.emplace_back(line.begin(), end);
        }
        return names;
    }
    bool traced(const std::string& name) const
    {
        const auto names = calls();
        return std::find(names.begin(), names.end(), name) != names.end();
    }
    bool traceHasLine(const std::string& start) const
    {
        for (const std::string& line : trace())
            if (line.rfind(start, 0) == 0)
                return true;
        return false;
    }

    std::string config(const std::string& key) const { return configValue(key, "<none>"); }

    // The date-time field under LC_ALL=C with FakeClock's default time.
    static constexpr char Now[] = "08/12/2026 14:05:09";
    static constexpr char FiscalName[] = "20261208140509COR0001.txt";

    // The names the error tests use for the rig's parts.
    const std::filesystem::path& root = m_dir;
    SharedState& state = m_state;
    FakeWindow& window = m_window;
    FakeClock& clock = m_clock;
    ErrorHandler& errors = m_errors;

private:
    std::unique_ptr<SimulatedPrinter> m_printer;
    std::unique_ptr<ErrorLink> m_link;
};

// `expected` appears in `names` in this order, other names in between allowed.
inline bool inOrder(const std::vector<std::string>& names, const std::vector<std::string>& expected)
{
    auto at = names.begin();
    for (const std::string& name : expected) {
        at = std::find(at, names.end(), name);
        if (at == names.end())
            return false;
        ++at;
    }
    return true;
}
