// SPDX-License-Identifier: MIT
#pragma once

#include "app/Bridge.h"
#include "config/IniFile.h"
#include "config/Keys.h"
#include "core/Clock.h"
#include "core/SharedState.h"
#include "simulator/SimulatedPrinter.h"
#include "support/FakeClock.h"
#include "support/Files.h"
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
#include <QTemporaryDir>

#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The real window on the real bridge and the simulated printer, in a
// temporary program directory, with a tray host that tests can switch off
// and message boxes answered from a queue (true = OK/Yes; empty: Cancel/No).
class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.isValid());
        prog = testfiles::path(m_temp) / "prog";
        data = testfiles::path(m_temp) / "data";
        std::filesystem::create_directories(prog);
        std::filesystem::create_directories(data);
        config("Eps_COM", "1");
        config("Kelmora_DIR", data.string() + "/");
        for (const auto& [key, value] : seed)
            config(key, value);

        state.programDir = prog;
        printer = std::make_unique<SimulatedPrinter>(prog);
        window = std::make_unique<MainWindow>();
        window->answerBox = [this](const MessageBoxRequest& request) {
            boxes.push_back(request);
            if (answers.empty())
                return false;
            const bool answer = answers.front();
            answers.pop_front();
            return answer;
        };
        window->tray().hostAvailable = [this] { return trayHost; };
        bridge = std::make_unique<Bridge>(state, *window, clock, *printer);
        window->attach(*bridge);
        bridge->avvio();
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
        ASSERT_TRUE(ScriviINI(keys::Section, key, value, prog / keys::ConfigFile));
    }
    std::string config(const std::string& key) const
    {
        return LeggiINI(keys::Section, key, "<missing>", prog / keys::ConfigFile);
    }

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
    std::string actionRecord(const std::string& action) const
    {
        return "AZIONE;" + dateTimeText(clock.now) + ";AZIONE: " + action;
    }
    std::vector<std::string> notFiscalLog() const { return testfiles::lines(prog / "NotFiscalError.log"); }
    std::string trace() const { return testfiles::read(prog / "Simulatore" / "chiamate.log"); }

    // Keys written before the start-up runs.
    std::map<std::string, std::string> seed;
    bool trayHost = true;

    std::filesystem::path prog, data;
    SharedState state;
    FakeClock clock;
    std::unique_ptr<SimulatedPrinter> printer;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Bridge> bridge;
    std::vector<MessageBoxRequest> boxes;
    std::deque<bool> answers;

private:
    QTemporaryDir m_temp;
};
