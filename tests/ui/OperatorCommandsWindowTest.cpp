// SPDX-License-Identifier: MIT
#include "bridge/OperatorCommands.h"
#include "ui/WindowFixture.h"

#include <QGroupBox>
#include <QMenu>

#include <cctype>
#include <string>
#include <vector>

namespace {

std::vector<const OperatorCommand*> commandsInTheWindow()
{
    std::vector<const OperatorCommand*> shown;
    for (const OperatorCommand& command : operatorCommands())
        if (!command.objectName.empty())
            shown.push_back(&command);
    return shown;
}

std::string rowName(const ::testing::TestParamInfo<const OperatorCommand*>& info)
{
    std::string name(info.param->objectName);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

QString text(std::string_view ascii)
{
    return QString::fromLatin1(ascii.data(), static_cast<qsizetype>(ascii.size()));
}

class EveryWindowCommand : public WindowFixture, public ::testing::WithParamInterface<const OperatorCommand*> {};

TEST_P(EveryWindowCommand, HasItsButtonOrMenuEntryWithItsCaption)
{
    const OperatorCommand& command = *GetParam();
    const QString name = text(command.objectName);
    if (command.place == WindowPlace::ToolsMenu) {
        auto* menu = window->findChild<QMenu*>(QStringLiteral("Strumenti"));
        ASSERT_NE(menu, nullptr);
        const QList<QAction*> entries = menu->actions();
        const auto entry = std::find_if(entries.begin(), entries.end(),
                                        [&](const QAction* a) { return a->objectName() == name; });
        ASSERT_NE(entry, entries.end()) << command.objectName << " is not in Strumenti";
        EXPECT_EQ((*entry)->text(), text(command.caption));
        return;
    }
    auto* button = window->findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr) << command.objectName << " is not in the window";
    EXPECT_EQ(button->text(), text(command.caption));
    // The receipt's heading tells the two paper-end buttons apart.
    auto* box = qobject_cast<QGroupBox*>(button->parentWidget());
    switch (command.place) {
    case WindowPlace::FiscalReceipt:
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->title(), QStringLiteral("Scontrino fiscale"));
        break;
    case WindowPlace::NonFiscalReceipt:
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->title(), QStringLiteral("Scontrino non fiscale"));
        break;
    default: EXPECT_EQ(box, nullptr); break;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, EveryWindowCommand, ::testing::ValuesIn(commandsInTheWindow()), rowName);

} // namespace
