// SPDX-License-Identifier: MIT
#include "app/ConsoleWindow.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

class ConsoleWindowTest : public ::testing::Test {
protected:
    std::ostringstream m_out;
    ConsoleWindow m_window{m_out};
};

TEST_F(ConsoleWindowTest, QuestionsGetTheAnswerThatChangesNothing)
{
    EXPECT_FALSE(m_window.askYesNo("Tessiro", "Chiudere il programma ?"));
    EXPECT_FALSE(m_window.askOkCancel("File LOG", "Ricreare i file di log?"));
    EXPECT_EQ(m_out.str(), "Tessiro [Tessiro] Chiudere il programma ? [Sì/No] -> No\n"
                           "Tessiro [File LOG] Ricreare i file di log? [OK/Annulla] -> Annulla\n");
}

TEST_F(ConsoleWindowTest, LabelTextIsDecodedFromWindows1252OneLinePerLine)
{
    m_window.setProgramErrorText("----- PROGRAM ERROR -----\r\n08/12/26 14:05:09\r\nPrezzo 1,50 \x80");
    EXPECT_EQ(m_window.programErrorText(), "----- PROGRAM ERROR -----\r\n08/12/26 14:05:09\r\nPrezzo 1,50 \x80");
    EXPECT_EQ(m_out.str(),
              "Tessiro [MsgErrore_NOPrinter] ----- PROGRAM ERROR -----\n08/12/26 14:05:09\nPrezzo 1,50 \xE2\x82\xAC\n");
}

} // namespace
