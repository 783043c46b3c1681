// SPDX-License-Identifier: MIT
#pragma once

#include "printer/ErrorLink.h"
#include "simulator/SimulatedPrinter.h"
#include "support/ProgramFolder.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// The program folder with a simulated printer joined to its error handler,
// plus readers for the simulator's call trace and the failure records.
// Faults and configuration are written before the printer starts, so it sees
// them from its first call.
class PrinterSession : public ProgramFolder {
public:
    std::filesystem::path dir() const { return m_dir; }
    std::filesystem::path simulatorDir() const { return m_dir / "Simulatore"; }

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
        for (const auto& line : notFiscalLog())
            if (line.rfind("Tessiro_Error: ", 0) == 0)
                out.push_back(line);
        return out;
    }
    // The record a failure with `message` leaves while no command file runs.
    std::string failureRecord(const std::string& message) const { return record("Tessiro_Error: ", message); }

    SharedState& state() { return m_state; }
    ErrorHandler& errors() { return m_errors; }
    SimulatedPrinter& printer() { return *m_printer; }

private:
    std::unique_ptr<SimulatedPrinter> m_printer;
    std::unique_ptr<ErrorLink> m_link;
    size_t m_mark = 0;
};
