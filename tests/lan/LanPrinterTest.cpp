// SPDX-License-Identifier: MIT
#include "lan/LanPrinter.h"
#include "lan/FakeService.h"
#include "lan/LanCodes.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <vector>

namespace {

Currency money(int64_t cents)
{
    return Currency::fromHundredths(cents);
}

int count(const std::vector<QByteArray>& requests, const char* element)
{
    int n = 0;
    for (const QByteArray& r : requests)
        n += r.count(element);
    return n;
}

class LanPrinterBehaviour : public ::testing::Test {
protected:
    LanPrinterBehaviour() : m_dir(testfiles::path(m_tmp))
    {
        LanPrinter::Timeouts t;
        t.clientMs = t.openClientMs = t.reportClientMs = 400;
        m_printer = std::make_unique<LanPrinter>(
            m_dir, *LanEndpoint::parse(QString::fromStdString(m_service.address())), QString(), t);
        m_printer->onErrorEvent = [this](int16_t level, int32_t code) {
            m_events.push_back({level, code});
            if (m_inEvent)
                m_inEvent();
        };
    }
    void open(const QString& digits = QStringLiteral("00110"))
    {
        m_service.push(FakeService::Answer::body(FakeService::success(digits)));
        m_printer->OpenPort();
        m_service.clear();
    }
    void collectReceipt() { ASSERT_EQ(m_printer->SellDept(1, "PANE", money(250), 1), 0); }

    QTemporaryDir m_tmp;
    std::filesystem::path m_dir;
    FakeService m_service;
    std::unique_ptr<LanPrinter> m_printer;
    std::vector<std::pair<int16_t, int32_t>> m_events;
    std::function<void()> m_inEvent;
};

TEST_F(LanPrinterBehaviour, OpeningAsksThePrintersStatus)
{
    m_printer->OpenPort();
    ASSERT_EQ(m_service.requests().size(), 1u);
    EXPECT_TRUE(m_service.last().contains("<queryPrinterStatus operator=\"1\" statusType=\"0\"/>"));
    EXPECT_TRUE(m_printer->PortIsOpen());
    EXPECT_FALSE(m_printer->Busy());
}

TEST_F(LanPrinterBehaviour, OpeningFailsClearlyWhenNobodyAnswers)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    LanPrinter printer(m_dir, *LanEndpoint::parse(QStringLiteral("http://127.0.0.1:%1").arg(port)));
    try {
        printer.OpenPort();
        FAIL() << "OpenPort did not fail";
    } catch (const ControlFailure& failure) {
        EXPECT_NE(
            failure.description().find("Stampante LAN http://127.0.0.1:" + std::to_string(port) + " non raggiungibile"),
            std::string::npos)
            << failure.description();
    }
    EXPECT_FALSE(printer.PortIsOpen());
}

TEST_F(LanPrinterBehaviour, CallsWithThePortClosedAnswerPortClosed)
{
    EXPECT_EQ(m_printer->SellDept(1, "A", money(1), 1), lancode::PortClosed);
    EXPECT_EQ(m_printer->DisplayText(1, "A"), lancode::PortClosed);
    EXPECT_TRUE(m_service.requests().empty());
    EXPECT_EQ(m_events.size(), 2u);
}

TEST_F(LanPrinterBehaviour, ReceiptLeftCollectingIsDroppedAtClosePortAndNotCarriedOn)
{
    open();
    collectReceipt();
    try {
        m_printer->ClosePort();
        FAIL() << "ClosePort did not fail";
    } catch (const ControlFailure& failure) {
        EXPECT_EQ(failure.description(), "Documento non chiuso dal file: annullato");
    }
    EXPECT_FALSE(m_printer->PortIsOpen());
    open();
    EXPECT_EQ(m_printer->PayCash(1, money(250)), lancode::WrongSequence);
    EXPECT_TRUE(m_service.requests().empty());
    EXPECT_NO_THROW(m_printer->ClosePort());
}

TEST_F(LanPrinterBehaviour, FailedReceiptRaisesTheEventWithThePrintersWordsAndResetsAnOpenDocument)
{
    open();
    collectReceipt();
    m_service.push(
        FakeService::Answer::body(FakeService::failure(QStringLiteral("PRINTER ERROR"), 11, QStringLiteral("00100"))));
    EXPECT_EQ(m_printer->PayCash(1, money(250)), lancode::WrongSequence);
    ASSERT_EQ(m_events.size(), 1u);
    EXPECT_EQ(m_events[0], (std::pair<int16_t, int32_t>(lancode::EventLevel, lancode::WrongSequence)));
    const std::string text = m_printer->ErrorText(2, lancode::WrongSequence);
    EXPECT_NE(text.find("SEQUENZA ERRATA"), std::string::npos) << text;
    EXPECT_NE(text.find("PRINTER ERROR, stato 11, stampante 00100"), std::string::npos) << text;
    const auto sent = m_service.requests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_TRUE(sent[1].contains("<resetPrinter"));
    // The receipt is gone: nothing is left to pay.
    EXPECT_EQ(m_printer->PayCash(1, money(250)), lancode::WrongSequence);
}

TEST_F(LanPrinterBehaviour, ResetHasGoneBeforeTheEventReachesItsHandler)
{
    open();
    collectReceipt();
    m_service.push(
        FakeService::Answer::body(FakeService::failure(QStringLiteral("EPTR_REC_EMPTY"), 3, QStringLiteral("30100"))));
    size_t requestsAtEvent = 0;
    m_inEvent = [&] { requestsAtEvent = m_service.requests().size(); };
    EXPECT_EQ(m_printer->PayCash(1, money(250)), lancode::PaperEnd);
    EXPECT_EQ(requestsAtEvent, 2u);
}

TEST_F(LanPrinterBehaviour, NoResetWhenThePrinterSaysNoDocumentIsOpen)
{
    open();
    collectReceipt();
    m_service.push(
        FakeService::Answer::body(FakeService::failure(QStringLiteral("PRINTER ERROR"), 13, QStringLiteral("00110"))));
    EXPECT_EQ(m_printer->PayCash(1, money(250)), lancode::InvalidData);
    EXPECT_EQ(count(m_service.requests(), "<resetPrinter"), 0);
}

TEST_F(LanPrinterBehaviour, TimeoutIsAFailureThatSaysTheReceiptMayHavePrintedAndIsNeverResent)
{
    open();
    collectReceipt();
    m_service.push(FakeService::Answer::silence());
    EXPECT_EQ(m_printer->PayCash(1, money(250)), lancode::NoAnswer);
    EXPECT_EQ(m_service.requests().size(), 1u); // neither a second send nor a reset
    EXPECT_NE(m_printer->ErrorText(2, lancode::NoAnswer).find("potrebbe essere stato stampato oppure no"),
              std::string::npos);
    EXPECT_EQ(m_printer->PayCash(1, money(250)), lancode::WrongSequence);
}

TEST_F(LanPrinterBehaviour, HttpErrorIsACommunicationFailure)
{
    open();
    m_service.push(FakeService::Answer::raw("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n"));
    EXPECT_EQ(m_printer->DisplayText(1, "X"), lancode::Communication);
    EXPECT_NE(m_printer->ErrorText(2, lancode::Communication).find("HTTP 500"), std::string::npos);
}

TEST_F(LanPrinterBehaviour, ChunkedReplyIsRead)
{
    open();
    const QByteArray body = FakeService::success();
    m_service.push(FakeService::Answer::raw(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + QByteArray::number(10, 16) + "\r\n" + body.left(10) +
        "\r\n" + QByteArray::number(body.size() - 10, 16) + "\r\n" + body.mid(10) + "\r\n0\r\n\r\n"));
    EXPECT_EQ(m_printer->DisplayText(1, "X"), 0);
}

TEST_F(LanPrinterBehaviour, CancelReceiptDropsTheCollectedReceiptAndResetsOnlyAnOpenPrinterDocument)
{
    open(QStringLiteral("00110"));
    collectReceipt();
    EXPECT_EQ(m_printer->CancelReceipt(1), 0);
    EXPECT_TRUE(m_service.requests().empty());
    EXPECT_EQ(m_printer->PayCash(1, money(250)), lancode::WrongSequence);
    m_printer->ClosePort();

    open(QStringLiteral("00100"));
    EXPECT_EQ(m_printer->CancelReceipt(1), 0);
    EXPECT_EQ(count(m_service.requests(), "<resetPrinter"), 1);
}

TEST_F(LanPrinterBehaviour, CancelReceiptResetsWhenNoReplyHasComeYet)
{
    // A status reply without digits says nothing about open documents.
    m_service.push(FakeService::Answer::body(FakeService::failure(QStringLiteral("FP_NO_ANSWER"), 0)));
    m_printer->OpenPort();
    m_service.clear();
    EXPECT_EQ(m_printer->CancelReceipt(1), 0);
    EXPECT_EQ(count(m_service.requests(), "<resetPrinter"), 1);
}

TEST_F(LanPrinterBehaviour, ClosePortInsideTheErrorEventDropsWithoutFailing)
{
    open();
    collectReceipt();
    bool threw = false;
    m_inEvent = [&] {
        try {
            m_printer->ClosePort();
        } catch (const ControlFailure&) {
            threw = true;
        }
    };
    // A sale after a partial payment is refused here, inside the receipt.
    ASSERT_EQ(m_printer->PayCash(1, money(100)), 0);
    EXPECT_EQ(m_printer->SellDept(1, "A", money(1), 1), lancode::WrongSequence);
    EXPECT_FALSE(threw);
    EXPECT_FALSE(m_printer->PortIsOpen());
}

TEST_F(LanPrinterBehaviour, AmountEntryAnswersACodeOfItsOwnThatSaysWhy)
{
    open();
    EXPECT_EQ(m_printer->AmountEntry(1, money(1999)), lancode::AmountEntryUnsupported);
    EXPECT_NE(m_printer->ErrorText(2, lancode::AmountEntryUnsupported).find("NON GESTITO"), std::string::npos);
    EXPECT_TRUE(m_service.requests().empty());
}

TEST_F(LanPrinterBehaviour, SendingRunsNoEventOfTheBridge)
{
    open();
    bool ran = false;
    QTimer::singleShot(0, [&ran] { ran = true; });
    m_service.push(FakeService::Answer::body(FakeService::success()));
    EXPECT_EQ(m_printer->DisplayText(1, "CIAO"), 0);
    EXPECT_FALSE(ran); // a timer tick waiting meanwhile did not run inside the send
    QCoreApplication::processEvents();
    EXPECT_TRUE(ran);
}

TEST_F(LanPrinterBehaviour, TenderTypeTheServiceDoesNotKnowIsRefusedBeforeSending)
{
    open();
    collectReceipt();
    EXPECT_EQ(m_printer->PayTender(1, "BUONO", money(250), 9, 0, 1), lancode::InvalidData);
    EXPECT_TRUE(m_service.requests().empty());
    // The receipt is still there to pay.
    EXPECT_EQ(m_printer->PayTender(1, "BUONO", money(250), 6, 0, 1), 0);
    EXPECT_EQ(m_service.requests().size(), 1u);
}

TEST_F(LanPrinterBehaviour, EveryExchangeIsOneLineEachWayInTheTrace)
{
    open();
    m_printer->DisplayText(1, "CIAO");
    const auto lines = testfiles::lines(m_dir / LanPrinter::TraceFile);
    ASSERT_EQ(lines.size(), 4u); // the opening's status query, then the display
    EXPECT_NE(lines[2].find("-> http://127.0.0.1:"), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find("<printerCommand><displayText operator=\"1\" data=\"CIAO\"/></printerCommand>"),
              std::string::npos)
        << lines[2];
    EXPECT_NE(lines[3].find("<- HTTP 200 <response success=\"true\""), std::string::npos) << lines[3];
}

TEST_F(LanPrinterBehaviour, LongDocumentsAreAbridgedInTheTrace)
{
    open();
    for (int i = 0; i < 60; ++i)
        m_printer->SellDept(1, "ARTICOLO CON UNA DESCRIZIONE LUNGA", money(100), 1);
    m_printer->PayCash(1, Currency());
    const auto lines = testfiles::lines(m_dir / LanPrinter::TraceFile);
    ASSERT_GE(lines.size(), 2u);
    const std::string& sent = lines[lines.size() - 2];
    EXPECT_NE(sent.find("caratteri ...]"), std::string::npos);
    EXPECT_LT(sent.size(), 1000u);
    EXPECT_NE(sent.find("</printerFiscalReceipt>"), std::string::npos);
}

TEST(LanEndpointParse, TakesHttpAndHttpsAddressesOnly)
{
    EXPECT_EQ(LanEndpoint::parse(QStringLiteral("http://192.168.1.50"))->port, 80);
    EXPECT_EQ(LanEndpoint::parse(QStringLiteral("https://192.168.1.50"))->port, 443);
    EXPECT_EQ(LanEndpoint::parse(QStringLiteral("http://cassa:8080/"))->address().toStdString(), "http://cassa:8080");
    QString why;
    EXPECT_FALSE(LanEndpoint::parse(QStringLiteral("ftp://x"), &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_FALSE(LanEndpoint::parse(QStringLiteral("http://x/cgi-bin/fpmate.cgi")));
    EXPECT_FALSE(LanEndpoint::parse(QStringLiteral("192.168.1.50")));
}

} // namespace
