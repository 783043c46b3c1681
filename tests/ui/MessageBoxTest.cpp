// SPDX-License-Identifier: MIT
#include "support/RowNames.h"
#include "ui/MessageBox.h"
#include "ui/Translation.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

#include <ostream>
#include <utility>
#include <vector>

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
                      // Every question undoes something: Enter alone must not do it.
                      BoxCase{MessageBoxRequest::Buttons::OkCancel, QMessageBox::Ok | QMessageBox::Cancel,
                              QMessageBox::Cancel, QMessageBox::Cancel, "OkCancel"},
                      BoxCase{MessageBoxRequest::Buttons::YesNo, QMessageBox::Yes | QMessageBox::No, QMessageBox::No,
                              QMessageBox::No, "YesNo"}),
    rownames::byName);

TEST(MessageBoxText, UntitledBoxCarriesTheProgramsTitle)
{
    const auto box = makeMessageBox({MessageBoxRequest::Buttons::Ok, QString(), QStringLiteral("x")}, nullptr);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Tessiro"));
}

TEST(MessageBoxText, AShortTextLeavesRoomForTheWholeTitle)
{
    const auto box = makeMessageBox({MessageBoxRequest::Buttons::Ok, QString(), QStringLiteral("x")}, nullptr);
    box->adjustSize();
    const int title = box->fontMetrics().horizontalAdvance(box->windowTitle());
    EXPECT_GE(box->width(), title + 100);
}

TEST_P(MessageBoxKind, EnterPressesTheFocusedButton)
{
    const auto box = makeMessageBox({GetParam().buttons, QString(), QStringLiteral("testo")}, nullptr);
    QAbstractButton* pressed = nullptr;
    QObject::connect(box.get(), &QMessageBox::buttonClicked, [&](QAbstractButton* b) { pressed = b; });
    box->show();
    QAbstractButton* focused = box->button(GetParam().onEscape);
    focused->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(focused, &enter);
    EXPECT_EQ(pressed, focused);
}

TEST(MessageBoxText, LineBreaksOfTheFilesBecomeLinesAndMarkupStaysText)
{
    const auto box = makeMessageBox(
        {MessageBoxRequest::Buttons::Ok, QString(), QStringLiteral("<b>uno</b>\r\ndue\rtre")}, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("<b>uno</b>\ndue\ntre"));
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
}

// Qt's own Italian texts on the standard buttons, as the window program
// installs them, whatever language the process was started in.
struct TranslatedCase {
    const char* name;
    MessageBoxRequest::Buttons buttons;
    std::vector<std::pair<QMessageBox::StandardButton, QString>> texts;
};

std::ostream& operator<<(std::ostream& out, const TranslatedCase& c)
{
    return out << c.name;
}

class TranslatedButtons : public ::testing::TestWithParam<TranslatedCase> {
protected:
    void SetUp() override
    {
        m_savedLang = qgetenv("LANG");
        qputenv("LANG", "en_US.UTF-8");
        ASSERT_TRUE(installItalianTranslation(*QCoreApplication::instance(), m_translator))
            << "qt6-translations-l10n is not installed";
    }
    void TearDown() override
    {
        QCoreApplication::removeTranslator(&m_translator);
        qputenv("LANG", m_savedLang);
    }

    QTranslator m_translator;
    QByteArray m_savedLang;
};

TEST_P(TranslatedButtons, StandardButtonsReadItalian)
{
    const auto box = makeMessageBox({GetParam().buttons, QString(), QStringLiteral("Chiudere il programma ?")},
                                    nullptr);
    for (const auto& [button, text] : GetParam().texts) {
        ASSERT_NE(box->button(button), nullptr);
        EXPECT_EQ(box->button(button)->text().remove(QLatin1Char('&')), text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, TranslatedButtons,
    ::testing::Values(
        TranslatedCase{"YesNo",
                       MessageBoxRequest::Buttons::YesNo,
                       {{QMessageBox::Yes, QStringLiteral("S\u00ec")}, {QMessageBox::No, QStringLiteral("No")}}},
        TranslatedCase{"OkCancel",
                       MessageBoxRequest::Buttons::OkCancel,
                       {{QMessageBox::Ok, QStringLiteral("OK")}, {QMessageBox::Cancel, QStringLiteral("Annulla")}}},
        TranslatedCase{"Ok", MessageBoxRequest::Buttons::Ok, {{QMessageBox::Ok, QStringLiteral("OK")}}}),
    rownames::byName);
