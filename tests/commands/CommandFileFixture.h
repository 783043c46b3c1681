// SPDX-License-Identifier: MIT
#pragma once

#include "commands/Interprete.h"
#include "errors/FileKind.h"
#include "printer/ErrorLink.h"
#include "simulator/SimulatedPrinter.h"
#include "support/ProgramFolder.h"

#include <filesystem>
#include <memory>
#include <string>

inline const std::string FiscalName = "20261208140509COR000001.txt";

// What the polling cycle gives the interpreter: a program directory with IN,
// port settings the simulated printer opens, the error handler, and the
// printer's error event routed to that handler. run() drops the bytes into
// IN and runs them as the cycle does.
class CommandFileFixture : public ProgramFolderTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        std::filesystem::create_directories(m_dir / "IN");
        m_state.settings.portNumber = 1;
        m_state.settings.portSettings = "9600,N,8,1";
        m_printer = std::make_unique<SimulatedPrinter>(m_dir);
        m_link = std::make_unique<ErrorLink>(*m_printer, m_errors, m_state.settings);
    }

    void run(const std::string& bytes, const std::string& name = FiscalName)
    {
        const std::filesystem::path file = m_dir / "IN" / name;
        testfiles::write(file, bytes);
        Job job = jobNamed(name);
        EseguiFileComandi(*m_printer, m_errors, m_state, m_clock, job, file);
        std::filesystem::remove(file);
    }

    std::unique_ptr<SimulatedPrinter> m_printer;
    std::unique_ptr<ErrorLink> m_link;
};
