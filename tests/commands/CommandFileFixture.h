// SPDX-License-Identifier: MIT
#pragma once

#include "commands/Interprete.h"
#include "errors/ErrorHandler.h"
#include "printer/ErrorLink.h"
#include "core/SharedState.h"
#include "simulator/SimulatedPrinter.h"
#include "support/FakeClock.h"
#include "support/FakeWindow.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <memory>
#include <string>

inline const std::string FiscalName = "20261208140509COR000001.txt";

// What the polling cycle gives the interpreter: a program directory with IN,
// port settings the simulated printer opens, the error handler, and the
// printer's error event routed to that handler. run() drops the bytes into
// IN and runs them as the cycle does.
class CommandFileFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_root = testfiles::path(m_dir);
        std::filesystem::create_directories(m_root / "IN");
        m_state.programDir = m_root;
        m_state.settings.portNumber = 1;
        m_state.settings.portSettings = "9600,N,8,1";
        m_errors = std::make_unique<ErrorHandler>(m_state, m_window, m_clock);
        m_printer = std::make_unique<SimulatedPrinter>(m_root);
        m_link = std::make_unique<ErrorLink>(*m_printer, *m_errors, m_state.settings);
    }

    void run(const std::string& bytes, const std::string& name = FiscalName)
    {
        const std::filesystem::path file = m_root / "IN" / name;
        testfiles::write(file, bytes);
        m_state.currentFileName = name;
        EseguiFileComandi(*m_printer, *m_errors, m_state, m_clock, file);
        std::filesystem::remove(file);
    }

    std::filesystem::path simulatorFile(const char* name) const { return m_root / "Simulatore" / name; }

    QTemporaryDir m_dir;
    std::filesystem::path m_root;
    SharedState m_state;
    FakeWindow m_window;
    FakeClock m_clock;
    std::unique_ptr<ErrorHandler> m_errors;
    std::unique_ptr<SimulatedPrinter> m_printer;
    std::unique_ptr<ErrorLink> m_link;
};
