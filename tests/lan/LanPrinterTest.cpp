// SPDX-License-Identifier: MIT
#include "bridge/Bridge.h"
#include "lan/FakeService.h"
#include "lan/LanCodes.h"
#include "lan/LanPrinter.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
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
            m_dir, m_clock, *LanEndpoint::parse(QString::fromStdString(m_service.address())), QString(), t);
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
    FakeClock m_clock;
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
    LanPrinter printer(m_dir, m_clock, *LanEndpoint::parse(QStringLiteral("http://127.0.0.1:%1").arg(port)));
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

TEST_F(LanPrinterBehaviour, ResetEvenWhenThePrinterSaysNoDocumentIsOpen)
{
    // Whether the firmware leaves a refused document open is not known: the
    // digits are not trusted to say it is closed.
    open();
    collectReceipt();
    m_service.push(
        FakeService::Answer::body(FakeService::failure(QStringLiteral("PRINTER ERROR"), 13, QStringLiteral("00110"))));
    EXPECT_EQ(m_printer->PayCash(1, money(250)), lancode::InvalidData);
    EXPECT_EQ(count(m_service.requests(), "<resetPrinter"), 1);
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

TEST_F(LanPrinterBehaviour, DocumentOpenBesideADoubtIsStrandedOnlyIfTwoLooksAPauseApartBothSeeIt)
{
    open();
    collectReceipt();
    m_service.push(FakeService::Answer::silence());
    ASSERT_EQ(m_printer->PayCash(1, money(250)), lancode::NoAnswer);
    m_service.clear();
    m_service.push(FakeService::Answer::body(FakeService::success(QStringLiteral("00100"))));
    m_service.push(FakeService::Answer::body(FakeService::success(QStringLiteral("00100"))));
    const auto before = m_clock.slept;

    EXPECT_EQ(m_printer->DocumentOpen(), OpenDocument::Fiscal);
    EXPECT_EQ(m_service.requests().size(), 2u);
    EXPECT_EQ(m_clock.slept - before, std::chrono::milliseconds(LanPrinter::Timeouts{}.doubtRecheckMs));
}

TEST_F(LanPrinterBehaviour, HttpErrorOfTheServiceLeavesTheDocumentInDoubt)
{
    open();
    m_service.push(FakeService::Answer::raw("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n"));
    EXPECT_EQ(m_printer->DisplayText(1, "X"), lancode::NoAnswer);
    EXPECT_NE(m_printer->ErrorText(2, lancode::NoAnswer).find("HTTP 500"), std::string::npos);
}

TEST_F(LanPrinterBehaviour, ChiudiNfResetsTheDocumentTheLanPrinterHoldsOpen)
{
    // No element closes a non-fiscal document stranded in the printer: the
    // operator's close is a reset.
    open(QStringLiteral("00120"));
    EXPECT_EQ(m_printer->CloseNonFiscal(1), 0);
    EXPECT_EQ(count(m_service.requests(), "<resetPrinter"), 1);
    EXPECT_TRUE(m_events.empty());
}

TEST_F(LanPrinterBehaviour, ClosureWaitsTheServicesLongestWaitNotTheDocumentsOne)
{
    open();
    EXPECT_EQ(m_printer->FiscalClosure(1), 0);
    EXPECT_EQ(m_printer->FiscalClosureAlt(1), 0);
    m_printer->DisplayText(1, "X");
    const auto targets = m_service.targets();
    ASSERT_EQ(targets.size(), 3u);
    EXPECT_TRUE(targets[0].endsWith("&timeout=60000")) << targets[0].toStdString();
    EXPECT_TRUE(targets[1].endsWith("&timeout=60000")) << targets[1].toStdString();
    EXPECT_TRUE(targets[2].endsWith("&timeout=10000")) << targets[2].toStdString();
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
    for (const std::string& line : lines)
        EXPECT_EQ(line.rfind("08/12/2026 14:05:09.000 ", 0), 0u) << "not stamped with the clock's time: " << line;
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
    const auto receipt = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("<printerFiscalReceipt>") != std::string::npos;
    });
    ASSERT_NE(receipt, lines.end());
    const std::string& sent = *receipt;
    EXPECT_NE(sent.find("caratteri ...]"), std::string::npos);
    EXPECT_LT(sent.size(), 1000u);
    EXPECT_NE(sent.find("</printerFiscalReceipt>"), std::string::npos);
}

// ------------------------------------- a failed receipt, through the bridge

// A bridge on the LAN control and the fake service, in a program folder of
// its own: what a failure leaves in the logs, in Kelmora_CORR and at the
// printer.
class LanThroughTheBridge : public ::testing::Test, public ProgramFolder {
protected:
    LanThroughTheBridge()
    {
        configure({"Eps_COM=1", "Eps_Setting=9600,N,8,1"});
        start();
        // Start-up empties it; a failure of an earlier day stands in it.
        EXPECT_TRUE(ScriviINI(keys::Section, keys::Kelmora_CORR, "COR000000.txt", m_state.configFile()));
    }
    // Start-up, as after a restart of the program.
    void start()
    {
        m_bridge.reset();
        LanPrinter::Timeouts t;
        t.clientMs = t.openClientMs = t.reportClientMs = 600;
        t.doubtRecheckMs = 50;
        m_printer = std::make_unique<LanPrinter>(
            m_dir, m_clock, *LanEndpoint::parse(QString::fromStdString(m_service.address())), QString(), t);
        m_bridge = std::make_unique<Bridge>(m_state, m_window, m_clock, *m_printer);
        m_bridge->start();
    }
    ~LanThroughTheBridge() override { m_bridge.reset(); }
    void run(const std::string& name, const std::string& content)
    {
        testfiles::write(m_state.dropDir() / name, content);
        m_bridge->tick();
        // The operator clears the error, so that the next file runs.
        m_state.errorState = false;
    }
    // A receipt of 2,50 paid in cash.
    void sale(const std::string& name = "20261208143000COR000001.txt", const std::string& amount = "250")
    {
        run(name, "F2:1:PANE:1000:" + amount + ":1\r\nF4:0:0:0:1\r\n");
    }
    std::string kelmora() const { return configValue(keys::Kelmora_CORR, ""); }
    std::string fiscalText() const { return testfiles::read(m_state.fiscalLog()); }
    std::string traceText() const { return testfiles::read(m_dir / LanPrinter::TraceFile); }
    // Lines of every log the bridge writes.
    std::vector<std::string> everyLogLine() const
    {
        std::vector<std::string> all;
        for (const auto& file : {m_state.fiscalLog(), m_state.notFiscalLog(), m_dir / LanPrinter::TraceFile}) {
            const auto lines = testfiles::lines(file);
            all.insert(all.end(), lines.begin(), lines.end());
        }
        return all;
    }

    FakeService m_service;
    std::unique_ptr<LanPrinter> m_printer;
    std::unique_ptr<Bridge> m_bridge;
};

struct FailedSendCase {
    const char* name;
    std::function<void(FakeService&)> arrange; // how the receipt's exchange goes wrong
    int16_t code;
    bool doubt;
};

class LanFailedReceipt : public LanThroughTheBridge, public ::testing::WithParamInterface<FailedSendCase> {};

TEST_P(LanFailedReceipt, IsADoubtOnlyWhenThePrinterMayHavePrintedIt)
{
    const FailedSendCase& c = GetParam();
    c.arrange(m_service);
    sale();
    const std::string log = fiscalText();
    EXPECT_NE(log.find("EpsonError: " + std::to_string(c.code)), std::string::npos) << log;
    if (c.doubt) {
        EXPECT_NE(log.find("potrebbe essere stato stampato oppure no"), std::string::npos) << log;
        EXPECT_NE(log.find("verificare prima di reinviare"), std::string::npos) << log;
        // ELIMINA would delete a receipt that may have printed.
        EXPECT_EQ(kelmora(), "COR000000.txt");
        // The printer may still be printing it.
        EXPECT_EQ(count(m_service.requests(), "<resetPrinter"), 0);
    } else {
        EXPECT_EQ(log.find("potrebbe essere stato stampato"), std::string::npos) << log;
        EXPECT_EQ(kelmora(), "COR000001.txt");
    }
    // Every text of the failure is Italian: the transport's own words only in brackets.
    for (const char* english : {"connection closed", "not an HTTP", "no complete reply", "reply too large"})
        EXPECT_EQ(log.find(english), std::string::npos) << english << "\n" << log;
}

TEST_P(LanFailedReceipt, NoReplyTextWritesALineOfItsOwn)
{
    GetParam().arrange(m_service);
    sale();
    for (const std::string& line : everyLogLine())
        EXPECT_NE(line.rfind("Tessiro_Error: COR999999.txt", 0), 0u) << line;
}

const std::function<void(FakeService&)> forReceipt(FakeService::Answer answer)
{
    return [answer](FakeService& s) { s.pushFor("<printerFiscalReceipt>", answer); };
}

INSTANTIATE_TEST_SUITE_P(
    Table, LanFailedReceipt,
    ::testing::Values(
        FailedSendCase{"DropAfterTheWholeRequest", forReceipt(FakeService::Answer::raw("")), lancode::NoAnswer, true},
        FailedSendCase{"ReplyCutOff",
                       forReceipt(FakeService::Answer::raw("HTTP/1.1 200 OK\r\nContent-Length: 2000\r\n\r\n" +
                                                           FakeService::receipt(5, 1, QStringLiteral("2,50")).left(200))),
                       lancode::NoAnswer, true},
        FailedSendCase{"ReplyGarbled", forReceipt(FakeService::Answer::body("\x01\x02<<<not the service>>>")),
                       lancode::NoAnswer, true},
        FailedSendCase{"NoReplyInTime", forReceipt(FakeService::Answer::silence()), lancode::NoAnswer, true},
        FailedSendCase{"Http5xx",
                       forReceipt(FakeService::Answer::raw(
                           "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")),
                       lancode::NoAnswer, true},
        FailedSendCase{"Http4xxNeverTookIt",
                       forReceipt(FakeService::Answer::raw(
                           "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")),
                       lancode::Communication, false},
        FailedSendCase{"RefusedBeforeAnythingWasWritten",
                       [](FakeService& s) {
                           // The opening's status query still gets through.
                           s.pushFor("<queryPrinterStatus",
                                     FakeService::Answer::bodyThenRefuse(FakeService::success()));
                       },
                       lancode::Communication, false},
        FailedSendCase{"PrinterRefusedIt",
                       forReceipt(FakeService::Answer::body(
                           FakeService::failure(QStringLiteral("PRINTER ERROR"), 13, QStringLiteral("00110")))),
                       lancode::InvalidData, false},
        FailedSendCase{"ForgedLineInTheReplysCode",
                       forReceipt(FakeService::Answer::body(FakeService::failure(
                           QStringLiteral("X&#13;&#10;Tessiro_Error: COR999999.txt;01/01/2026 00:00:00;RECORD FALSO"),
                           17, QStringLiteral("00110")))),
                       lancode::PrinterError, false}),
    rownames::byName);

// ------------------------------------------------ a reset after each refusal

struct RefusalCase {
    const char* name;
    std::function<int16_t(LanPrinter&)> document; // collects a document; the last call sends it
    QByteArray reply;
};

class LanRefusedDocument : public LanPrinterBehaviour, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(LanRefusedDocument, IsFollowedByAReset)
{
    open();
    m_service.push(FakeService::Answer::body(GetParam().reply));
    EXPECT_NE(GetParam().document(*m_printer), 0);
    const auto sent = m_service.requests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_TRUE(sent[1].contains("<resetPrinter"));
}

const auto receiptOf250 = [](LanPrinter& p) {
    p.SellDept(1, "PANE", Currency::fromHundredths(250), 1);
    return p.PayCash(1, Currency());
};
const auto nonFiscal = [](LanPrinter& p) {
    p.OpenNonFiscal(1);
    p.NonFiscalLine(1, 1, "RIGA");
    return p.CloseNonFiscal(1);
};

INSTANTIATE_TEST_SUITE_P(
    Table, LanRefusedDocument,
    ::testing::Values(
        RefusalCase{"ReceiptDigitsSayNothingOpen", receiptOf250,
                    FakeService::failure(QStringLiteral("PRINTER ERROR"), 13, QStringLiteral("00110"))},
        RefusalCase{"ReceiptNoDigits", receiptOf250, FakeService::failure(QStringLiteral("PRINTER ERROR"), 17)},
        RefusalCase{"ReceiptPaperEnd", receiptOf250,
                    FakeService::failure(QStringLiteral("EPTR_REC_EMPTY"), 3, QStringLiteral("30100"))},
        RefusalCase{"ReceiptNotRead", receiptOf250, FakeService::failure(QStringLiteral("PARSER_ERROR"), 0)},
        RefusalCase{"NonFiscalDigitsSayNothingOpen", nonFiscal,
                    FakeService::failure(QStringLiteral("PRINTER ERROR"), 17, QStringLiteral("00110"))},
        RefusalCase{"NonFiscalNoDigits", nonFiscal, FakeService::failure(QStringLiteral("EPTR_REC_EMPTY"), 3)}),
    rownames::byName);

// ------------------------------------ the printer's numbers resolve a doubt

struct ResolutionCase {
    const char* name;
    bool numbersBefore;           // a receipt confirmed 5 on Z 1 before the doubts
    int doubts;                   // receipts left in doubt, COR000002 on
    const char* between;          // "", "reset" (a refused receipt) or "Z" (a closure)
    QByteArray next;              // the reply to the next receipt
    std::vector<std::string> say; // the resolution of each doubt, oldest first
    std::string kelmora;
};

class LanDoubtResolution : public LanThroughTheBridge, public ::testing::WithParamInterface<ResolutionCase> {};

std::string doubtFile(int i)
{
    return "20261208143000COR00000" + std::to_string(2 + i) + ".txt";
}

TEST_P(LanDoubtResolution, ByTheNextReceiptsNumbers)
{
    const ResolutionCase& c = GetParam();
    if (c.numbersBefore) {
        m_service.pushFor("<printerFiscalReceipt>", FakeService::Answer::body(FakeService::receipt(5, 1, "2,50")));
        sale("20261208143000COR000001.txt");
    }
    for (int i = 0; i < c.doubts; ++i) {
        m_service.pushFor("<printerFiscalReceipt>", FakeService::Answer::raw(""));
        sale(doubtFile(i));
    }
    if (std::string(c.between) == "reset") {
        m_service.pushFor("<printerFiscalReceipt>", FakeService::Answer::body(FakeService::failure(
                                                        QStringLiteral("PRINTER ERROR"), 13, QStringLiteral("00110"))));
        sale("20261208143000COR000008.txt");
    } else if (std::string(c.between) == "Z") {
        run("20261208200000CHI000007.txt", "Z1:1:1\r\n");
    }
    const std::string before = fiscalText();
    m_service.pushFor("<printerFiscalReceipt>", FakeService::Answer::body(c.next));
    sale("20261208143000COR000009.txt");
    const std::string added = fiscalText().substr(before.size());

    size_t at = 0;
    for (int i = 0; i < c.doubts; ++i) {
        const std::string expected = record(doubtFile(i).substr(14),
                                            "AZIONE: Esito del documento in dubbio: " + c.say[size_t(i)]);
        const size_t found = added.find(expected, at);
        EXPECT_NE(found, std::string::npos) << expected << "\nin\n" << added;
        at = found == std::string::npos ? at : found;
    }
    EXPECT_EQ(added.find("Tessiro_Error"), std::string::npos) << added;
    EXPECT_EQ(added.find("PrinterError"), std::string::npos) << added;
    EXPECT_EQ(kelmora(), c.kelmora);
    // A resolved doubt is not resolved again by the receipt after.
    const std::string resolved = fiscalText();
    m_service.pushFor("<printerFiscalReceipt>", FakeService::Answer::body(FakeService::receipt(20, 1, "2,50")));
    sale("20261208143000COR000010.txt");
    EXPECT_EQ(fiscalText().substr(resolved.size()).find("dubbio"), std::string::npos);
}

const std::string Printed = "stampato (scontrino n. ";
const std::string NotPrinted = "non stampato: pu\xF2 essere reinviato";
const std::string Unknowable = "non verificabile: controllare la carta";

INSTANTIATE_TEST_SUITE_P(
    Table, LanDoubtResolution,
    ::testing::Values(
        ResolutionCase{"OneMore", true, 1, "", FakeService::receipt(7, 1, "2,50"), {Printed + "6)"}, "COR000000.txt"},
        ResolutionCase{"SameNumber", true, 1, "", FakeService::receipt(6, 1, "2,50"), {NotPrinted}, "COR000002.txt"},
        ResolutionCase{"LowerNumber", true, 1, "", FakeService::receipt(3, 1, "2,50"), {Unknowable}, "COR000000.txt"},
        ResolutionCase{"TwoMore", true, 1, "", FakeService::receipt(8, 1, "2,50"), {Unknowable}, "COR000000.txt"},
        ResolutionCase{"ZInBetween", true, 1, "Z", FakeService::receipt(1, 2, "2,50"), {Unknowable}, "COR000000.txt"},
        ResolutionCase{
            "ResetInBetween", true, 1, "reset", FakeService::receipt(7, 1, "2,50"), {Unknowable}, "COR000008.txt"},
        ResolutionCase{"NoNumbersInTheReply", true, 1, "", FakeService::success(), {Unknowable}, "COR000000.txt"},
        ResolutionCase{
            "NoNumbersKeptBefore", false, 1, "", FakeService::receipt(7, 1, "2,50"), {Unknowable}, "COR000000.txt"},
        ResolutionCase{"TwoDoubtsBothPrinted",
                       true,
                       2,
                       "",
                       FakeService::receipt(8, 1, "2,50"),
                       {Printed + "6)", Printed + "7)"},
                       "COR000000.txt"},
        // Kelmora_CORR takes the older one; the newer one's record says it.
        ResolutionCase{"TwoDoubtsNeitherPrinted",
                       true,
                       2,
                       "",
                       FakeService::receipt(6, 1, "2,50"),
                       {NotPrinted, NotPrinted},
                       "COR000002.txt"},
        ResolutionCase{"TwoDoubtsOnePrinted",
                       true,
                       2,
                       "",
                       FakeService::receipt(7, 1, "2,50"),
                       {Unknowable, Unknowable},
                       "COR000000.txt"}),
    rownames::byName);

TEST_F(LanThroughTheBridge, AReceiptAmountThePrinterSaysOtherwiseGetsAnActionRecord)
{
    m_service.pushFor("<printerFiscalReceipt>", FakeService::Answer::body(FakeService::receipt(5, 1, "1,00")));
    sale("20261208143000COR000001.txt", "300");
    const std::string log = fiscalText();
    EXPECT_NE(log.find(record("COR000001.txt", "AZIONE: Importo dello scontrino n. 5 secondo la stampante 1,00, "
                                               "calcolato 3,00: verificare")),
              std::string::npos)
        << log;
    // The amounts agree: nothing to say.
    m_service.pushFor("<printerFiscalReceipt>", FakeService::Answer::body(FakeService::receipt(6, 1, "5,00")));
    sale("20261208143000COR000002.txt", "500");
    EXPECT_EQ(fiscalText(), log);
}

// The program folder is shared with the back-office's group: a member can
// put a link to a file of the bridge's user where a file of the control
// belongs. Nothing is written through it, nothing of it is read, and one
// record says why the file is not used.
TEST_F(LanThroughTheBridge, FileOfTheControlReplacedByALinkIsRecordedOnceAndNeverReachedThroughIt)
{
    QTemporaryDir elsewhere;
    const std::filesystem::path script = testfiles::path(elsewhere) / "avvio.sh";
    const std::filesystem::path numbers = testfiles::path(elsewhere) / "numeri.ini";
    testfiles::write(script, "#!/bin/sh\n");
    testfiles::write(numbers, "[Ultimo]\nScontrino=41\nChiusura=7\n");
    std::filesystem::remove(m_dir / LanPrinter::TraceFile);
    std::filesystem::create_symlink(script, m_dir / LanPrinter::TraceFile);
    std::filesystem::create_symlink(numbers, m_dir / LanLedger::FileName);
    start();
    for (int n = 1; n <= 2; ++n) {
        m_service.pushFor("<printerFiscalReceipt>", FakeService::Answer::body(FakeService::receipt(n, 1, "2,50")));
        sale("20261208143000COR00000" + std::to_string(n) + ".txt");
    }
    EXPECT_EQ(testfiles::read(script), "#!/bin/sh\n");
    EXPECT_EQ(testfiles::read(numbers), "[Ultimo]\nScontrino=41\nChiusura=7\n");
    EXPECT_TRUE(std::filesystem::is_symlink(m_dir / LanPrinter::TraceFile));
    const auto records = everyLogLine();
    for (const char* file : {LanPrinter::TraceFile, LanLedger::FileName}) {
        const std::string said = std::string(file) + " non usato: symbolic link, not followed";
        EXPECT_EQ(std::count_if(records.begin(), records.end(),
                                [&](const std::string& r) { return r.find(said) != std::string::npos; }),
                  1)
            << fiscalText();
    }
    // The numbers of the two receipts went to a file of the control's own,
    // in place of the link.
    EXPECT_FALSE(std::filesystem::is_symlink(m_dir / LanLedger::FileName));
    EXPECT_NE(testfiles::read(m_dir / LanLedger::FileName).find("Scontrino=2"), std::string::npos);
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
