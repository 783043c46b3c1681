// SPDX-License-Identifier: MIT
#include "lan/HttpClient.h"
#include "lan/LanReply.h"
#include "lan/SimService.h"
#include "simulator/SimState.h"
#include "support/FakeClock.h"
#include "support/Files.h"
#include "support/RowNames.h"
#include "support/WritesRefused.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

QByteArray envelope(const QByteArray& inner)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope "
           "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>" +
           inner + "</s:Body></s:Envelope>";
}

const QByteArray Receipt = envelope(
    "<printerFiscalReceipt><beginFiscalReceipt operator=\"1\" />"
    "<printRecItem operator=\"1\" description=\"CAFFE ESPRESSO\" quantity=\"2\" unitPrice=\"1,10\" department=\"1\" "
    "justification=\"1\" />"
    "<printRecItem operator=\"1\" description=\"CORNETTO &amp; MARMELLATA\" quantity=\"1\" unitPrice=\"1,30\" "
    "department=\"1\" justification=\"1\" />"
    "<printRecSubtotal operator=\"1\" option=\"1\" />"
    "<printRecTotal operator=\"1\" description=\"CONTANTI\" payment=\"5,00\" paymentType=\"0\" index=\"0\" "
    "justification=\"1\" />"
    "<endFiscalReceipt operator=\"1\" /></printerFiscalReceipt>");

class SimServiceFixture : public ::testing::Test {
protected:
    SimServiceFixture() : m_dir(testfiles::path(m_tmp)), m_service(m_dir, m_clock) {}

    LanReply ask(const QByteArray& body)
    {
        HttpOutcome o;
        o.kind = HttpOutcome::Kind::Replied;
        o.httpStatus = 200;
        o.body = m_service.handle(body);
        return readReply(o);
    }
    std::string roll() const { return testfiles::read(m_dir / "Simulatore" / "giornale.txt"); }
    void faults(const std::string& lines)
    {
        testfiles::write(m_dir / "Simulatore" / "guasti.ini", "[Guasti]\n" + lines);
    }

    QTemporaryDir m_tmp;
    std::filesystem::path m_dir;
    FakeClock m_clock;
    SimService m_service;
};

struct RefusalCase {
    const char* name;
    QByteArray body;
    const char* keyword;
};

class SimServiceRefuses : public SimServiceFixture, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(SimServiceRefuses, WhatItCannotTakeWithTheProtocolsKeyword)
{
    const LanReply r = ask(GetParam().body);
    EXPECT_TRUE(r.fromPrinter);
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(r.keyword.toStdString(), GetParam().keyword);
    EXPECT_EQ(roll(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, SimServiceRefuses,
    ::testing::Values(
        RefusalCase{"EmptyBody", "", "NO_DATA"}, RefusalCase{"NotXml", "hello", "PARSER_ERROR"},
        RefusalCase{"BrokenXml", Receipt.left(Receipt.size() / 2), "PARSER_ERROR"},
        RefusalCase{"NoEnvelope", "<printerCommand><openDrawer operator=\"1\"/></printerCommand>", "PARSER_ERROR"},
        RefusalCase{"UnknownRoot", envelope("<printerSomething><x/></printerSomething>"), "Non valid XML command"},
        RefusalCase{"UnknownElement",
                    envelope("<printerFiscalReceipt><beginFiscalReceipt/><printRecLotteryID "
                             "code=\"X\"/><endFiscalReceipt/></printerFiscalReceipt>"),
                    "Non valid XML command"},
        RefusalCase{"ReceiptWithoutEnd",
                    envelope("<printerFiscalReceipt><beginFiscalReceipt/><printRecItem description=\"A\" "
                             "quantity=\"1\" unitPrice=\"1,00\" department=\"1\"/></printerFiscalReceipt>"),
                    "INCOMPLETE FILE"},
        RefusalCase{"NonFiscalWithoutEnd",
                    envelope("<printerNonFiscal><beginNonFiscal/><printNormal data=\"A\"/></printerNonFiscal>"),
                    "INCOMPLETE FILE"}),
    rownames::byName);

TEST_F(SimServiceFixture, ReceiptOfTheNotesPrintsOnTheRollWithChange)
{
    const LanReply r = ask(Receipt);
    EXPECT_EQ(r.code, 0) << r.detail().toStdString();
    EXPECT_EQ(r.status, std::optional<int>(2));
    EXPECT_EQ(r.printerStatus.toStdString(), "00110");
    EXPECT_EQ(r.info.at(QStringLiteral("fiscalReceiptNumber")).toStdString(), "1");
    EXPECT_EQ(r.info.at(QStringLiteral("fiscalReceiptDate")).toStdString(), "8/12/2026");
    EXPECT_EQ(r.info.at(QStringLiteral("fiscalReceiptTime")).toStdString(), "14:05");
    const std::string printed = roll();
    EXPECT_NE(printed.find("CORNETTO & MARMELLATA"), std::string::npos) << printed;
    EXPECT_NE(printed.find("RESTO"), std::string::npos) << printed;
    EXPECT_NE(printed.find("1,50"), std::string::npos) << printed;
}

TEST_F(SimServiceFixture, StatusQueryAnswersTheFiveDigits)
{
    const LanReply r = ask(
        envelope("<printerCommand><queryPrinterStatus operator=\"1\" statusType=\"0\"/></printerCommand>"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.info.at(QStringLiteral("fpStatus")).toStdString(), "00110");
    EXPECT_EQ(r.documentOpen(), std::optional<bool>(false));
}

struct FaultCase {
    const char* name;
    std::string guasti;
    const char* keyword;
    std::optional<int> status;
    const char* digits; // after the failure
};

class SimServiceFaults : public SimServiceFixture, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SimServiceFaults, AnswerAsAPrinterWould)
{
    faults(GetParam().guasti);
    const LanReply r = ask(Receipt);
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(r.keyword.toStdString(), GetParam().keyword);
    EXPECT_EQ(r.status, GetParam().status);
    EXPECT_EQ(r.printerStatus.toStdString(), GetParam().digits);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SimServiceFaults,
    ::testing::Values(FaultCase{"PaperEnd", "FineCarta=1\n", "EPTR_REC_EMPTY", 3, "30110"},
                      FaultCase{"WrongSequenceOnASale", "SellDeptQty=3\n", "PRINTER ERROR", 11, "00110"},
                      FaultCase{"InvalidDataOnTheSecondSale", "SellDept=4\n", "PRINTER ERROR", 13, "00100"},
                      FaultCase{"UnknownDepartment", "SellDeptQty=5\n", "PRINTER ERROR", 12, "00110"},
                      FaultCase{"NonCashAbove", "PayCash=8\n", "PRINTER ERROR", 13, "00100"},
                      FaultCase{"OtherCodeIsItsStatus", "Subtotal=42\n", "PRINTER ERROR", 42, "00100"},
                      FaultCase{"Busy", "Occupato=1\n", "LAN_ERROR", 0, ""}),
    rownames::byName);

// A document is one print: the state's record of the last print (what a
// start after a kill completes the roll from) is the whole receipt, and a
// commit the disk refuses leaves neither a part of it on the roll nor a
// receipt counted or open.
TEST_F(SimServiceFixture, DocumentIsOneCommitWholeOrNotAtAll)
{
    ASSERT_EQ(ask(Receipt).code, 0);
    EXPECT_EQ(SimState::load(m_dir / "Simulatore" / "stato.ini").lastPrinted, roll());
    const std::string before = roll();
    {
        const WritesRefused refused;
        const LanReply r = ask(Receipt);
        EXPECT_EQ(r.keyword.toStdString(), "PRINTER ERROR");
        EXPECT_EQ(r.status, std::optional<int>(18));
        EXPECT_EQ(r.documentOpen(), std::optional<bool>(false));
    }
    EXPECT_EQ(roll(), before);
    const LanReply next = ask(Receipt);
    EXPECT_EQ(next.code, 0) << next.detail().toStdString();
    EXPECT_EQ(next.info.at(QStringLiteral("fiscalReceiptNumber")).toStdString(), "2");
}

TEST_F(SimServiceFixture, LostReplyPrintsTheDocumentAndLosesOnlyAsManyRepliesAsAsked)
{
    faults("PerdiRisposta=1\n");
    const QByteArray status =
        envelope("<printerCommand><queryPrinterStatus operator=\"1\" statusType=\"0\"/></printerCommand>");
    // A command is no document: its reply is never the one lost.
    m_service.handle(status);
    EXPECT_FALSE(m_service.replyLost());
    m_service.handle(Receipt);
    EXPECT_TRUE(m_service.replyLost());
    EXPECT_NE(roll().find("SCONTRINO N. 0001"), std::string::npos) << roll();
    const LanReply next = ask(Receipt);
    EXPECT_FALSE(m_service.replyLost());
    EXPECT_EQ(next.code, 0) << next.detail().toStdString();
    EXPECT_EQ(next.info.at(QStringLiteral("fiscalReceiptNumber")).toStdString(), "2");
}

TEST_F(SimServiceFixture, ResetClosesAReceiptLeftOpenAndRecoversFromPaperEnd)
{
    faults("PayCash=8\n");
    ASSERT_EQ(ask(Receipt).documentOpen(), std::optional<bool>(true));
    faults("");
    const LanReply r = ask(envelope("<printerCommand><resetPrinter operator=\"1\"/></printerCommand>"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.documentOpen(), std::optional<bool>(false));
    EXPECT_NE(roll().find("SCONTRINO ANNULLATO"), std::string::npos);
    EXPECT_EQ(ask(Receipt).code, 0);
}

TEST(ServiceFailure, SimulatorCodesMapToKeywordAndStatus)
{
    EXPECT_STREQ(serviceFailureFor(2).keyword, "EPTR_REC_EMPTY");
    EXPECT_EQ(serviceFailureFor(3).status, 11);
    EXPECT_EQ(codeForFailure(QString::fromLatin1(serviceFailureFor(3).keyword), serviceFailureFor(3).status), 3);
    EXPECT_EQ(codeForFailure(QString::fromLatin1(serviceFailureFor(4).keyword), serviceFailureFor(4).status), 4);
    EXPECT_EQ(codeForFailure(QString::fromLatin1(serviceFailureFor(5).keyword), serviceFailureFor(5).status), 5);
    EXPECT_EQ(codeForFailure(QString::fromLatin1(serviceFailureFor(6).keyword), serviceFailureFor(6).status), 6);
    EXPECT_EQ(codeForFailure(QString::fromLatin1(serviceFailureFor(2).keyword), serviceFailureFor(2).status), 2);
}

} // namespace
