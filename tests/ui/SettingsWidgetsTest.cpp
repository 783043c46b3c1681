// SPDX-License-Identifier: MIT
#include "support/RowNames.h"
#include "ui/WindowFixture.h"

#include <QCheckBox>

using Field = SettingsPanel::Field;

class SettingsStartUp : public WindowFixture {
protected:
    SettingsStartUp()
    {
        seed = {{"Eps_Setting", "9600,N,8,1"},
                {"Eps_Delay", "30"},
                {"Eps_NonRiscIndex", "4"},
                {"Eps_NonRiscType", "2"},
                {"PAY_L", "1"}};
    }
};

TEST_F(SettingsStartUp, WidgetsShowWhatTheStartUpRead)
{
    EXPECT_EQ(child<QLineEdit>("Seriale")->text(), QStringLiteral("1"));
    EXPECT_EQ(child<QLineEdit>("Setting")->text(), QStringLiteral("9600,N,8,1"));
    EXPECT_EQ(child<QLineEdit>("Ritardo")->text(), QStringLiteral("30"));
    EXPECT_EQ(child<QLineEdit>("NonRiscIndex")->text(), QStringLiteral("4"));
    EXPECT_EQ(child<QLineEdit>("NonRiscType")->text(), QStringLiteral("2"));
    EXPECT_EQ(child<QLineEdit>("cartellaOstro")->text(), QString::fromStdString(data.string() + "/"));
    EXPECT_TRUE(child<QCheckBox>("PAY_L")->isChecked());
}

struct Rejection {
    const char* field;
    const char* key;
    const char* message;
};

std::ostream& operator<<(std::ostream& out, const Rejection& r)
{
    return out << r.field;
}

class NumericField : public WindowFixture, public ::testing::WithParamInterface<Rejection> {};

TEST_P(NumericField, LettersAreRejectedWithTheFieldsMessageAndTheStoredValueReturns)
{
    QLineEdit* edit = child<QLineEdit>(GetParam().field);
    const QString stored = edit->text();
    const std::string storedKey = config(GetParam().key);

    edit->selectAll();
    type(edit, QStringLiteral("x"));

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].buttons, MessageBoxRequest::Buttons::Ok);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Tessiro"));
    EXPECT_EQ(boxes[0].text, QString::fromLatin1(GetParam().message));
    EXPECT_EQ(edit->text(), stored);
    EXPECT_EQ(config(GetParam().key), storedKey);
}

TEST_P(NumericField, ClearingTheFieldIsRejectedAtOnce)
{
    QLineEdit* edit = child<QLineEdit>(GetParam().field);
    const QString stored = edit->text();

    edit->selectAll();
    backspace(edit);

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QString::fromLatin1(GetParam().message));
    EXPECT_EQ(edit->text(), stored);
}

TEST_P(NumericField, PastedNegativeNumberIsSavedAsItIs)
{
    QLineEdit* edit = child<QLineEdit>(GetParam().field);
    edit->selectAll();
    edit->insert(QStringLiteral("-3"));

    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(edit->text(), QStringLiteral("-3"));
    EXPECT_EQ(config(GetParam().key), "-3");
}

INSTANTIATE_TEST_SUITE_P(
    FourFields, NumericField,
    ::testing::Values(Rejection{"Seriale", "Eps_COM", "Porta COM errata."},
                      Rejection{"Ritardo", "Eps_Delay", "Ritardo non corretto."},
                      Rejection{"NonRiscIndex", "Eps_NonRiscIndex", "Indicazione Indice Pagamento non corretta."},
                      Rejection{"NonRiscType", "Eps_NonRiscType",
                                "Indicazione Tipo Pagamento non corretta.\r\n0=cash; 1=check; 2=credit card; 3=ticket"}),
    rownames::by(&Rejection::field));

using SettingsTyping = WindowFixture;

TEST_F(SettingsTyping, EachKeystrokeInRitardoIsSavedAndReachesTheWorkingPause)
{
    QLineEdit* edit = child<QLineEdit>("Ritardo");
    edit->selectAll();

    type(edit, QStringLiteral("1"));
    EXPECT_EQ(config("Eps_Delay"), "1");
    EXPECT_EQ(state.settings.pause, 1);

    type(edit, QStringLiteral("2"));
    EXPECT_EQ(config("Eps_Delay"), "12");
    EXPECT_EQ(state.settings.pause, 12);
}

TEST_F(SettingsTyping, SettingIsSavedUntrimmedInTheFilesEncoding)
{
    QLineEdit* edit = child<QLineEdit>("Setting");
    edit->selectAll();
    type(edit, QStringLiteral(" 9600 \u20ac"));

    EXPECT_EQ(bridge->panel().text(Field::Setting), " 9600 \x80");
    EXPECT_EQ(edit->text(), QStringLiteral(" 9600 \u20ac"));
}

TEST_F(SettingsTyping, FolderGetsItsSeparatorWhileTheCursorStaysWhereTypingGoesOn)
{
    QLineEdit* edit = child<QLineEdit>("cartellaOstro");
    edit->selectAll();

    type(edit, QStringLiteral("d"));
    ASSERT_EQ(edit->text().size(), 2);
    EXPECT_EQ(edit->cursorPosition(), 1);

    type(edit, QStringLiteral("a"));
    EXPECT_EQ(edit->text().left(2), QStringLiteral("da"));
    EXPECT_EQ(edit->text().size(), 3);
    EXPECT_EQ(edit->cursorPosition(), 2);
    EXPECT_EQ(edit->text(), QString::fromStdString(bridge->panel().text(Field::cartellaOstro)));
    EXPECT_EQ(QString::fromStdString(config("Kelmora_DIR")), edit->text());
}

TEST_F(SettingsTyping, EmptiedFolderShowsTheSeparatorAlone)
{
    QLineEdit* edit = child<QLineEdit>("cartellaOstro");
    edit->selectAll();
    backspace(edit);

    EXPECT_EQ(edit->text().size(), 1);
    EXPECT_EQ(edit->text(), QString::fromStdString(bridge->panel().text(Field::cartellaOstro)));
}

TEST_F(SettingsTyping, CheckBoxClicksAreSaved)
{
    QCheckBox* box = child<QCheckBox>("PAY_L");
    ASSERT_FALSE(box->isChecked());

    box->click();
    EXPECT_EQ(config("PAY_L"), "1");
    EXPECT_TRUE(bridge->panel().payL());

    box->click();
    EXPECT_EQ(config("PAY_L"), "0");
    EXPECT_FALSE(bridge->panel().payL());
}

TEST_F(SettingsTyping, ChangesMadeByTheModelShowInTheWidgets)
{
    bridge->panel().setText(Field::Setting, "19200,E,7,2");
    bridge->panel().setPayL(true);

    EXPECT_EQ(child<QLineEdit>("Setting")->text(), QStringLiteral("19200,E,7,2"));
    EXPECT_TRUE(child<QCheckBox>("PAY_L")->isChecked());
}

TEST_F(SettingsTyping, PortTypedReachesTheWorkingSettingsOnlyThroughNascondi)
{
    QLineEdit* edit = child<QLineEdit>("Seriale");
    edit->selectAll();
    type(edit, QStringLiteral("4"));
    EXPECT_EQ(config("Eps_COM"), "4");
    EXPECT_EQ(state.settings.portNumber, std::optional<int16_t>(1));

    click("cmdNascondi");
    EXPECT_EQ(state.settings.portNumber, std::optional<int16_t>(4));
}
