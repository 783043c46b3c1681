// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"
#include "app/ControlServer.h"
#include "bridge/Bridge.h"
#include "bridge/OperatorCommands.h"
#include "simulator/SimulatedPrinter.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<const OperatorCommand*> commandsWhere(bool (*keep)(const OperatorCommand&))
{
    std::vector<const OperatorCommand*> kept;
    for (const OperatorCommand& command : operatorCommands())
        if (keep(command))
            kept.push_back(&command);
    return kept;
}

bool hasControlName(const OperatorCommand& command)
{
    return !command.name.empty();
}

bool isWindowOnly(const OperatorCommand& command)
{
    return command.name.empty();
}

// A row is named after the command's ctl name, else its object name.
const auto rowName = rownames::by(
    [](const OperatorCommand* command) { return command->name.empty() ? command->objectName : command->name; });

// The entries of the man page's CONTROL COMMANDS section: each command's
// name (the first word of its ".B" line) and its paragraph as one line.
std::map<std::string, std::string> manPageControlCommands()
{
    std::ifstream page(TESSIRO_MAN_PAGE);
    std::map<std::string, std::string> entries;
    std::string line, current;
    bool inSection = false;
    while (std::getline(page, line)) {
        if (line.rfind(".SH", 0) == 0) {
            inSection = line == ".SH CONTROL COMMANDS";
            current.clear();
            continue;
        }
        if (!inSection)
            continue;
        if (line.rfind(".TP", 0) == 0) {
            current.clear();
        } else if (current.empty() && line.rfind(".B ", 0) == 0) {
            std::string word = line.substr(3, line.find(' ', 3) - 3);
            for (std::size_t at; (at = word.find("\\-")) != std::string::npos;)
                word.replace(at, 2, "-");
            current = word;
            entries[current];
        } else if (!current.empty()) {
            entries[current] += line + ' ';
        }
    }
    return entries;
}

// A bridge on the simulated printer with its control server, not listening:
// the server's run() is what a request over the socket runs.
class EveryControlCommand : public ProgramFolderTest, public ::testing::WithParamInterface<const OperatorCommand*> {
protected:
    void SetUp() override
    {
        fs::create_directories(m_dir / "data");
        configure({"Eps_COM=1", "Kelmora_DIR=" + (m_dir / "data").string() + "/"});
        m_printer = std::make_unique<SimulatedPrinter>(m_dir);
        m_bridge = std::make_unique<Bridge>(m_state, m_window, m_clock, *m_printer);
        m_bridge->start();
        m_server = std::make_unique<ControlServer>(*m_bridge);
    }

    static bool unknown(const ControlServer::Reply& reply)
    {
        return !reply.ok && reply.error.rfind("unknown command", 0) == 0;
    }

    std::unique_ptr<SimulatedPrinter> m_printer;
    std::unique_ptr<Bridge> m_bridge;
    std::unique_ptr<ControlServer> m_server;
};

TEST_P(EveryControlCommand, IsServedByTheBridge)
{
    const OperatorCommand& command = *GetParam();
    const ControlServer::Reply reply = m_server->run(std::string(command.name));
    EXPECT_FALSE(unknown(reply)) << reply.error;
    if (!command.option.empty()) {
        const ControlServer::Reply withOption = m_server->run(std::string(command.name) + " " +
                                                              std::string(command.option));
        EXPECT_FALSE(unknown(withOption)) << withOption.error;
    }
}

TEST_P(EveryControlCommand, IsAcceptedByCtlAndListedWithItsHelp)
{
    const OperatorCommand& command = *GetParam();
    const std::string name(command.name);
    const CommandLine got = parseCommandLine({"tessiro", "ctl", name});
    EXPECT_EQ(got.action, CommandLine::Action::Control) << got.error;

    const QString name16 = QString::fromStdString(name);
    const QString help16 = QString::fromStdString(std::string(command.help));
    const QStringList lines = usageText().split(QLatin1Char('\n'));
    const bool listed = std::any_of(lines.begin(), lines.end(), [&](const QString& line) {
        const QStringList words = line.simplified().split(QLatin1Char(' '));
        return !words.isEmpty() && words.front() == name16 && line.trimmed().endsWith(help16);
    });
    EXPECT_TRUE(listed) << name << " is not listed in --help with \"" << command.help << "\"";
}

TEST_P(EveryControlCommand, IsDescribedInTheManPageUnderItsCaption)
{
    const OperatorCommand& command = *GetParam();
    const std::map<std::string, std::string> entries = manPageControlCommands();
    const auto entry = entries.find(std::string(command.name));
    ASSERT_NE(entry, entries.end()) << "the man page's CONTROL COMMANDS lack " << command.name;
    if (!command.caption.empty()) {
        EXPECT_NE(entry->second.find(std::string(command.caption)), std::string::npos)
            << command.name << ": " << entry->second;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, EveryControlCommand, ::testing::ValuesIn(commandsWhere(hasControlName)), rowName);

class EveryWindowOnlyCommand : public EveryControlCommand {};

TEST_P(EveryWindowOnlyCommand, IsNoCommandOfCtl)
{
    const OperatorCommand& command = *GetParam();
    EXPECT_FALSE(command.objectName.empty()) << "a command with neither a ctl name nor a place in the window";
    EXPECT_TRUE(unknown(m_server->run(std::string(command.objectName))));
    EXPECT_TRUE(unknown(m_server->run(std::string(command.caption))));
}

INSTANTIATE_TEST_SUITE_P(Table, EveryWindowOnlyCommand, ::testing::ValuesIn(commandsWhere(isWindowOnly)), rowName);

TEST(ManPageControlCommands, NameNoCommandTheBridgeLacks)
{
    const std::map<std::string, std::string> entries = manPageControlCommands();
    EXPECT_FALSE(entries.empty());
    for (const auto& [name, text] : entries)
        EXPECT_NE(findControlCommand(name), nullptr) << name;
}

TEST(ControlCommandNames, AreUniqueAndFindTheirOwnEntry)
{
    for (const OperatorCommand& command : operatorCommands()) {
        if (!command.name.empty()) {
            EXPECT_EQ(findControlCommand(command.name), &command) << command.name;
        }
    }
    EXPECT_EQ(findControlCommand(""), nullptr);
}

} // namespace
