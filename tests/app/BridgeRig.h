// SPDX-License-Identifier: MIT
#pragma once

#include "core/SharedState.h"
#include "support/FakeClock.h"
#include "support/FakeWindow.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>

// What every test of a bridge starts from: a temporary program directory,
// the shared state pointed at it, the scripted window and the still clock.
// The printer and the bridge are the fixture's own.
class BridgeRig : public ::testing::Test {
protected:
    BridgeRig() : m_dir(testfiles::path(m_tmp)) { m_state.programDir = m_dir; }

    QTemporaryDir m_tmp;
    std::filesystem::path m_dir;
    SharedState m_state;
    FakeWindow m_window;
    FakeClock m_clock;
};
