// SPDX-License-Identifier: MIT
#pragma once

#include "core/Clock.h"
#include "errors/ErrorHandler.h"
#include "printer/ErrorLink.h"
#include "core/SharedState.h"
#include "simulator/SimulatedPrinter.h"
#include "support/FakeClock.h"
#include "support/FakeWindow.h"
#include "support/Files.h"

#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// A temporary program directory with the error handler and a simulated
// printer, plus readers for the simulator's call trace and the logs. Faults
// and configuration are written before the printer starts, so it sees them
// from its first call.
class PrinterSession {
public:
    PrinterSession() : m_dir(testfiles::path(m_tmp)) { m_state.programDir = m_dir; }

    std::filesystem::path dir() const { return m_dir; }
    std::filesystem::path simulatorDir() const { return m_dir / "Simulatore"; }

    // Lines of the "Guasti" section, e.g. "SellDept=12".
    void injectFaults(const std::vector<std::string>& lines)
    {
        std::string text = "[Guasti]\r\n";
        for (const auto& line : lines)
            text += line + "\r\n";
        testfiles::write(simulatorDir() / "guasti.ini", text);
    }

    // The configuration file, section "Varie", with the given key lines.
    void configure(const std::vector<std::string>& lines)
    {
        std::string text = "[Varie]\r\n";
        for (const auto& line : lines)
            text += line + "\r\n";
        testfiles::write(m_state.configFile(), text);
    }

    SimulatedPrinter& startPrinter()
    {
        m_link.reset();
        m_printer = std::make_unique<SimulatedPrinter>(m_dir);
        m_link = std::make_unique<ErrorLink>(*m_printer, m_errors, m_state.settings);
        return *m_printer;
    }

    // Opens the port the way the bridge does, without going through ApriPorta.
    void openPort(int16_t port = 1, const std::string& settings = "9600,N,8,1")
    {
        m_printer->setOpenOptionA(2);
        m_printer->setOpenOptionB(0);
        m_printer->setComPort(port);
        m_printer->setComSettings(settings);
        m_printer->OpenPort();
    }

    std::vector<std::string> trace() const { return testfiles::lines(simulatorDir() / "chiamate.log"); }
    // Remembers where the trace stands; sinceMark() gives what came after.
    void mark() { m_mark = trace().size(); }
    std::vector<std::string> sinceMark() const
    {
        auto all = trace();
        return {all.begin() + std::ptrdiff_t(std::min(m_mark, all.size())), all.end()};
    }

    // The program-failure records of NotFiscalError.log (no command file runs).
    std::vector<std::string> failureRecords() const
    {
        std::vector<std::string> out;
        for (const auto& line : testfiles::lines(m_state.notFiscalLog()))
            if (line.rfind("Tessiro_Error: ", 0) == 0)
                out.push_back(line);
        return out;
    }
    // The record a failure with `message` leaves while no command file runs.
    std::string failureRecord(const std::string& message) const
    {
        return "Tessiro_Error: ;" + dateTimeText(m_clock.now) + ";" + message;
    }

    SharedState& state() { return m_state; }
    ErrorHandler& errors() { return m_errors; }
    SimulatedPrinter& printer() { return *m_printer; }

private:
    QTemporaryDir m_tmp;
    std::filesystem::path m_dir;
    SharedState m_state;
    FakeWindow m_window;
    FakeClock m_clock;
    ErrorHandler m_errors{m_state, m_window, m_clock};
    std::unique_ptr<SimulatedPrinter> m_printer;
    std::unique_ptr<ErrorLink> m_link;
    size_t m_mark = 0;
};
