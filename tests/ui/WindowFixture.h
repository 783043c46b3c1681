// SPDX-License-Identifier: MIT
#pragma once

#include "bridge/Bridge.h"
#include "simulator/SimulatedPrinter.h"
#include "support/ProgramFolder.h"
#include "ui/MainWindow.h"
#include "ui/TrayIcon.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The real window on the real bridge and the simulated printer, in the
// program folder, with a tray host that tests can switch off and message
// boxes answered from the queue (empty: Cancel/No).
class WindowFixture : public ProgramFolderTest, protected AnswerQueue {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        std::filesystem::create_directories(data);
        config("Eps_COM", "1");
        config("Kelmora_DIR", data.string() + "/");
        for (const auto& [key, value] : seed)
            config(key, value);

        printer = std::make_unique<SimulatedPrinter>(prog);
        window = std::make_unique<MainWindow>();
        window->answerBox = [this](const MessageBoxRequest& request) {
            boxes.push_back(request);
            return nextAnswer();
        };
        window->tray().hostAvailable = [this] { return trayHost; };
        bridge = std::make_unique<Bridge>(state, *window, clock, *printer);
        window->attach(*bridge);
        bridge->start();
        QCoreApplication::processEvents();
    }

    void TearDown() override
    {
        bridge.reset();
        window.reset();
        printer.reset();
    }

    void config(const std::string& key, const std::string& value)
    {
        ASSERT_TRUE(ScriviINI(keys::Section, key, value, m_state.configFile()));
    }
    std::string config(const std::string& key) const { return configValue(key, "<missing>"); }

    template <typename T>
    T* child(const char* name) const
    {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void click(const char* button) const
    {
        if (QPushButton* b = child<QPushButton>(button))
            b->click();
    }
    void trigger(const char* action) const
    {
        if (QAction* a = child<QAction>(action))
            a->trigger();
    }

    // Keystrokes as the operator types them: each one is an edit of its own.
    static void type(QLineEdit* edit, const QString& text)
    {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, c.toUpper().unicode(), Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(edit, &press);
        }
    }
    static void backspace(QLineEdit* edit)
    {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
        QCoreApplication::sendEvent(edit, &press);
    }

    // The action record the window's commands file while no command file runs.
    std::string actionRecord(const std::string& action) const { return record("AZIONE", "AZIONE: " + action); }
    std::string trace() const { return testfiles::read(prog / "Simulatore" / "chiamate.log"); }

    // Keys written before the start-up runs.
    std::map<std::string, std::string> seed;
    bool trayHost = true;

    // The names the window's tests use for the rig's parts.
    const std::filesystem::path& prog = m_dir;
    SharedState& state = m_state;
    FakeClock& clock = m_clock;

    std::filesystem::path data = m_dir / "data";
    std::unique_ptr<SimulatedPrinter> printer;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Bridge> bridge;
    std::vector<MessageBoxRequest> boxes;
};
