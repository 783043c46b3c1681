// SPDX-License-Identifier: MIT
#pragma once

#include "bridge/RecordingPrinter.h"
#include "bridge/Bridge.h"
#include "support/ProgramFolder.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The program folder with a bridge on a recording printer at port 1, made but
// not started. start() runs the start-up and from then on notes, at each
// opening of the port, the file that was current.
class RecordingBridge : public ProgramFolderTest {
protected:
    void SetUp() override
    {
        configure({"Eps_COM=1", "Eps_Setting=9600,N,8,1"});
        m_bridge = std::make_unique<Bridge>(m_state, m_window, m_clock, m_printer);
    }

    void start()
    {
        m_bridge->start();
        m_printer.onOpenPort = [this] {
            m_opened.push_back(m_state.currentFileName());
            if (m_probe)
                m_probe();
        };
    }

    bridgetest::RecordingPrinter m_printer;
    std::unique_ptr<Bridge> m_bridge;
    // Current file name at each opening of the port.
    std::vector<std::string> m_opened;
    std::function<void()> m_probe;
};
