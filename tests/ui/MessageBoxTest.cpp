// SPDX-License-Identifier: MIT
#include "ui/MessageBox.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>

struct BoxCase {
    MessageBoxRequest::Buttons buttons;
    QMessageBox::StandardButtons shown;
    QMessageBox::StandardButton byDefault;
    QMessageBox::StandardButton onEscape;
    const char* name;
};

class MessageBoxKind : public ::testing::TestWithParam<BoxCase> {};

TEST_P(MessageBoxKind, HasNoIconAndTheAskedButtons)
{
    const auto box = makeMessageBox({GetParam().buttons, QStringLiteral("File LOG"), QStringLiteral("testo")}, nullptr);

    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(box->standardButtons(), GetParam().shown);
    EXPECT_EQ(box->defaultButton(), box->button(GetParam().byDefault));
    EXPECT_EQ(box->escapeButton(), box->button(GetParam().onEscape));
    EXPECT_EQ(box->windowTitle(), QStringLiteral("File LOG"));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MessageBoxKind,
    ::testing::Values(BoxCase{MessageBoxRequest::Buttons::Ok, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok, "Ok"},
                      BoxCase{MessageBoxRequest::Buttons::OkCancel, QMessageBox::Ok | QMessageBox::Cancel,
                              QMessageBox::Ok, QMessageBox::Cancel, "OkCancel"},
                      BoxCase{MessageBoxRequest::Buttons::YesNo, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::Yes, QMessageBox::No, "YesNo"}),
    [](const ::testing::TestParamInfo<BoxCase>& info) { return std::string(info.param.name); });

TEST(MessageBoxText, UntitledBoxCarriesTheProgramsTitle)
{
    const auto box = makeMessageBox({MessageBoxRequest::Buttons::Ok, QString(), QStringLiteral("x")}, nullptr);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Tessiro"));
}

TEST(MessageBoxText, LineBreaksOfTheFilesBecomeLinesAndMarkupStaysText)
{
    const auto box = makeMessageBox(
        {MessageBoxRequest::Buttons::Ok, QString(), QStringLiteral("<b>uno</b>\r\ndue\rtre")}, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("<b>uno</b>\ndue\ntre"));
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
}
