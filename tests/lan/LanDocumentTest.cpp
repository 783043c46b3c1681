// SPDX-License-Identifier: MIT
// What each call of the contract puts into the document the LAN printer
// receives, and when the document goes.
#include "lan/FakeService.h"
#include "lan/LanCodes.h"
#include "lan/LanDocument.h"
#include "lan/LanPrinter.h"
#include "support/FakeClock.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <functional>

namespace {

Currency money(int64_t cents)
{
    return Currency::fromHundredths(cents);
}

// A LAN control on the fake service with its port open.
class LanDocumentFixture : public ::testing::Test {
protected:
    LanDocumentFixture()
        : m_printer(testfiles::path(m_tmp), m_clock, *LanEndpoint::parse(QString::fromStdString(m_service.address())))
    {}
    void SetUp() override
    {
        m_printer.OpenPort();
        m_service.clear();
    }
    // The body of the last request between the root's tags, as sent.
    std::string lastDocument() const
    {
        const QByteArray body = m_service.last();
        const qsizetype start = body.indexOf("<printer");
        const qsizetype end = body.lastIndexOf("</printer");
        if (start < 0 || end < 0)
            return {};
        return body.mid(start, body.indexOf('>', end) - start + 1).toStdString();
    }

    QTemporaryDir m_tmp;
    FakeService m_service;
    FakeClock m_clock;
    LanPrinter m_printer;
};

// ------------------------------------------------- one call, one element

struct CallCase {
    const char* name;
    std::function<int16_t(LanPrinter&)> calls; // the last call sends the document
    std::string document;
};

class LanDocumentOfEachCall : public LanDocumentFixture, public ::testing::WithParamInterface<CallCase> {};

TEST_P(LanDocumentOfEachCall, ProducesTheExpectedXml)
{
    EXPECT_EQ(GetParam().calls(m_printer), 0);
    EXPECT_EQ(lastDocument(), GetParam().document);
}

const std::string Begin = "<printerFiscalReceipt><beginFiscalReceipt operator=\"1\"/>";
const std::string CashOne =
    "<printRecTotal operator=\"1\" description=\"CONTANTI\" payment=\"1,00\" paymentType=\"0\" index=\"0\" "
    "justification=\"1\"/><endFiscalReceipt operator=\"1\"/></printerFiscalReceipt>";
const std::string SaleOne = "<printRecItem operator=\"1\" description=\"X\" quantity=\"1\" unitPrice=\"1,00\" "
                            "department=\"1\" justification=\"1\"/>";

// A receipt of one sale of 1,00 around `middle`, paid with `pay`.
std::function<int16_t(LanPrinter&)> receipt(std::function<int16_t(LanPrinter&)> middle,
                                            std::function<int16_t(LanPrinter&)> pay)
{
    return [=](LanPrinter& p) {
        if (int16_t c = p.SellDept(1, "X", money(100), 1))
            return c;
        if (int16_t c = middle(p))
            return c;
        return pay(p);
    };
}

const auto none = [](LanPrinter&) -> int16_t { return 0; };
const auto cash = [](LanPrinter& p) { return p.PayCash(1, money(100)); };

INSTANTIATE_TEST_SUITE_P(
    Table, LanDocumentOfEachCall,
    ::testing::Values(
        CallCase{"SellDept", receipt(none, cash), Begin + SaleOne + CashOne},
        CallCase{"SellDeptQty",
                 [](LanPrinter& p) {
                     p.SellDeptQty(1, "LATTE", 2.0f, money(129), 2);
                     return p.PayCash(1, Currency());
                 },
                 Begin + "<printRecItem operator=\"1\" description=\"LATTE\" quantity=\"2\" unitPrice=\"1,29\" "
                         "department=\"2\" justification=\"1\"/><printRecTotal operator=\"1\" description=\"CONTANTI\" "
                         "payment=\"2,58\" paymentType=\"0\" index=\"0\" justification=\"1\"/><endFiscalReceipt "
                         "operator=\"1\"/></printerFiscalReceipt>"},
        CallCase{"ReturnDept",
                 receipt([](LanPrinter& p) { return p.ReturnDept(1, "R", money(40), 3); },
                         [](LanPrinter& p) { return p.PayCash(1, money(60)); }),
                 Begin + SaleOne +
                     "<printRecRefund operator=\"1\" description=\"R\" quantity=\"1\" unitPrice=\"0,40\" "
                     "department=\"3\" justification=\"1\"/><printRecTotal operator=\"1\" description=\"CONTANTI\" "
                     "payment=\"0,60\" paymentType=\"0\" index=\"0\" justification=\"1\"/><endFiscalReceipt "
                     "operator=\"1\"/></printerFiscalReceipt>"},
        CallCase{"ReturnDeptQty",
                 receipt([](LanPrinter& p) { return p.ReturnDeptQty(1, "R", 0.5f, money(40), 3); },
                         [](LanPrinter& p) { return p.PayCash(1, money(80)); }),
                 Begin + SaleOne +
                     "<printRecRefund operator=\"1\" description=\"R\" quantity=\"0,5\" unitPrice=\"0,40\" "
                     "department=\"3\" justification=\"1\"/><printRecTotal operator=\"1\" description=\"CONTANTI\" "
                     "payment=\"0,80\" paymentType=\"0\" index=\"0\" justification=\"1\"/><endFiscalReceipt "
                     "operator=\"1\"/></printerFiscalReceipt>"},
        CallCase{"ReturnDeptAmount",
                 receipt([](LanPrinter& p) { return p.ReturnDeptAmount(1, "VUOTI", money(20), 2); },
                         [](LanPrinter& p) { return p.PayCash(1, Currency()); }),
                 Begin + SaleOne +
                     "<printRecRefund operator=\"1\" description=\"VUOTI\" quantity=\"1\" unitPrice=\"0,20\" "
                     "department=\"2\" justification=\"1\"/><printRecTotal operator=\"1\" description=\"CONTANTI\" "
                     "payment=\"0,80\" paymentType=\"0\" index=\"0\" justification=\"1\"/><endFiscalReceipt "
                     "operator=\"1\"/></printerFiscalReceipt>"},
        CallCase{"AddDescriptionEscaped",
                 receipt([](LanPrinter& p) { return p.AddDescription(1, "A&B <C> \"D\""); }, cash),
                 Begin + SaleOne +
                     "<printRecMessage operator=\"1\" messageType=\"4\" message=\"A&amp;B &lt;C&gt; &quot;D&quot;\"/>" +
                     CashOne},
        CallCase{"ExtraLineBeforeThePayments",
                 [](LanPrinter& p) {
                     p.SellDept(1, "X", money(200), 1);
                     p.PayCash(1, money(100));
                     p.ExtraLine(1, 7, "PUNTI 10");
                     return p.PayCash(1, money(100));
                 },
                 Begin +
                     "<printRecItem operator=\"1\" description=\"X\" quantity=\"1\" unitPrice=\"2,00\" "
                     "department=\"1\" justification=\"1\"/><printRecMessage operator=\"1\" messageType=\"3\" "
                     "index=\"7\" font=\"1\" message=\"PUNTI 10\"/>"
                     "<printRecTotal operator=\"1\" description=\"CONTANTI\" payment=\"1,00\" paymentType=\"0\" "
                     "index=\"0\" justification=\"1\"/>" +
                     CashOne},
        // The adjustment goes before the subtotal it follows in the file, as
        // the service expects it.
        CallCase{"SubtotalAndDiscountAdjustmentFirst",
                 receipt(
                     [](LanPrinter& p) {
                         p.Subtotal(1);
                         return p.SubtotalDiscount(1, money(50));
                     },
                     [](LanPrinter& p) { return p.PayCash(1, money(50)); }),
                 Begin + SaleOne +
                     "<printRecSubtotalAdjustment operator=\"1\" description=\"SCONTO\" adjustmentType=\"1\" "
                     "amount=\"0,50\" justification=\"1\"/><printRecSubtotal operator=\"1\" option=\"1\"/>"
                     "<printRecTotal operator=\"1\" description=\"CONTANTI\" payment=\"0,50\" paymentType=\"0\" "
                     "index=\"0\" justification=\"1\"/><endFiscalReceipt operator=\"1\"/></printerFiscalReceipt>"},
        CallCase{"PayCheque", receipt(none, [](LanPrinter& p) { return p.PayCheque(1, money(100)); }),
                 Begin + SaleOne +
                     "<printRecTotal operator=\"1\" description=\"ASSEGNO\" payment=\"1,00\" paymentType=\"1\" "
                     "index=\"0\" justification=\"1\"/><endFiscalReceipt operator=\"1\"/></printerFiscalReceipt>"},
        CallCase{"PayCardPaysWhatIsDueWithIndexOne", receipt(none, [](LanPrinter& p) { return p.PayCard(1, 0); }),
                 Begin + SaleOne +
                     "<printRecTotal operator=\"1\" description=\"CARTA DI CREDITO\" payment=\"1,00\" "
                     "paymentType=\"2\" index=\"1\" justification=\"1\"/><endFiscalReceipt "
                     "operator=\"1\"/></printerFiscalReceipt>"},
        CallCase{"PayTicket", receipt(none, [](LanPrinter& p) { return p.PayTicket(1, 1, money(100)); }),
                 Begin + SaleOne +
                     "<printRecTotal operator=\"1\" description=\"TICKET\" payment=\"1,00\" paymentType=\"3\" "
                     "index=\"1\" justification=\"1\"/><endFiscalReceipt operator=\"1\"/></printerFiscalReceipt>"},
        CallCase{"PayTenderCardIndexZeroBecomesOne",
                 receipt(none, [](LanPrinter& p) { return p.PayTender(1, "CC BANCOMAT", money(100), 2, 0, 0); }),
                 Begin + SaleOne +
                     "<printRecTotal operator=\"1\" description=\"CC BANCOMAT\" payment=\"1,00\" paymentType=\"2\" "
                     "index=\"1\" justification=\"1\"/><endFiscalReceipt operator=\"1\"/></printerFiscalReceipt>"},
        CallCase{"PayTenderUnpaidKeepsItsIndex",
                 receipt(none, [](LanPrinter& p) { return p.PayTender(1, "A CREDITO", money(100), 5, 0, 2); }),
                 Begin + SaleOne +
                     "<printRecTotal operator=\"1\" description=\"A CREDITO\" payment=\"1,00\" paymentType=\"5\" "
                     "index=\"2\" justification=\"1\"/><endFiscalReceipt operator=\"1\"/></printerFiscalReceipt>"},
        CallCase{"NonFiscal",
                 [](LanPrinter& p) {
                     p.OpenNonFiscal(1);
                     p.NonFiscalLine(1, 1, "VALE \x80 5,00");
                     return p.CloseNonFiscal(1);
                 },
                 "<printerNonFiscal><beginNonFiscal operator=\"1\"/><printNormal operator=\"1\" font=\"1\" "
                 "data=\"VALE \xE2\x82\xAC 5,00\"/><endNonFiscal operator=\"1\"/></printerNonFiscal>"},
        CallCase{"DisplayText", [](LanPrinter& p) { return p.DisplayText(1, "BUONGIORNO"); },
                 "<printerCommand><displayText operator=\"1\" data=\"BUONGIORNO\"/></printerCommand>"},
        CallCase{"OpenCmd", [](LanPrinter& p) { return p.OpenCmd(1); },
                 "<printerCommand><openDrawer operator=\"1\"/></printerCommand>"},
        CallCase{"FiscalClosure", [](LanPrinter& p) { return p.FiscalClosure(1); },
                 "<printerFiscalReport><printZReport operator=\"1\"/></printerFiscalReport>"},
        CallCase{"FiscalClosureAlt", [](LanPrinter& p) { return p.FiscalClosureAlt(1); },
                 "<printerFiscalReport><printXZReport operator=\"1\"/></printerFiscalReport>"},
        CallCase{"PaperEndRecovery", [](LanPrinter& p) { return p.PaperEndRecovery(1); },
                 "<printerCommand><resetPrinter operator=\"1\"/></printerCommand>"}),
    rownames::byName);

TEST_F(LanDocumentFixture, WholeRequestIsASoapEnvelopeDeclaredUtf8)
{
    ASSERT_EQ(m_printer.DisplayText(1, "X"), 0);
    const std::string body = m_service.last().toStdString();
    EXPECT_EQ(body.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope "
                         "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><printerCommand>",
                         0),
              0u)
        << body;
    EXPECT_NE(body.find("</printerCommand></s:Body></s:Envelope>"), std::string::npos) << body;
}

// ------------------------------------------------ nothing goes too early

TEST_F(LanDocumentFixture, ReceiptLinesAreHeldUntilThePaymentsCoverTheTotal)
{
    EXPECT_EQ(m_printer.SellDept(1, "PANE", money(250), 1), 0);
    EXPECT_EQ(m_printer.SellDeptQty(1, "LATTE", 2.0f, money(129), 2), 0);
    EXPECT_EQ(m_printer.PayCash(1, money(200)), 0);
    EXPECT_TRUE(m_service.requests().empty());
    EXPECT_EQ(m_printer.collector().dueCents(), 308);
    EXPECT_EQ(m_printer.PayCard(1, 0), 0);
    ASSERT_EQ(m_service.requests().size(), 1u);
    EXPECT_NE(lastDocument().find("payment=\"3,08\" paymentType=\"2\""), std::string::npos) << lastDocument();
}

TEST_F(LanDocumentFixture, NonFiscalLinesAreHeldUntilTheClose)
{
    m_printer.OpenNonFiscal(1);
    m_printer.NonFiscalLine(1, 1, "A");
    EXPECT_TRUE(m_service.requests().empty());
    m_printer.CloseNonFiscal(1);
    EXPECT_EQ(m_service.requests().size(), 1u);
}

TEST_F(LanDocumentFixture, LongTextsAreCutToWhatThePrinterPrintsWhole)
{
    const std::string longText(60, 'A');
    m_printer.SellDept(1, longText, money(100), 1);
    m_printer.AddDescription(1, longText);
    m_printer.PayCash(1, money(100));
    EXPECT_NE(lastDocument().find("description=\"" + std::string(37, 'A') + "\""), std::string::npos);
    EXPECT_NE(lastDocument().find("message=\"" + std::string(46, 'A') + "\""), std::string::npos);
}

// --------------------------------------- the collector's own answers
// (which call the receipt rules refuse in which state:
// tests/printer/ReceiptRulesTest.cpp)

struct SequenceCase {
    const char* name;
    std::function<int16_t(DocumentCollector&)> calls;
    int16_t code;
};

class CollectorSequence : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(CollectorSequence, AnswersTheCodeOfTheCollectorsOwn)
{
    DocumentCollector c;
    EXPECT_EQ(GetParam().calls(c), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CollectorSequence,
    ::testing::Values(
        SequenceCase{"AmountEntryHasNoElement", [](DocumentCollector& c) { return c.amountEntry(money(100)); },
                     lancode::AmountEntryUnsupported},
        SequenceCase{"AmountEntryBeyondTheLimitHasNoElementEither",
                     [](DocumentCollector& c) { return c.amountEntry(money(-1'000'000'000)); },
                     lancode::AmountEntryUnsupported},
        SequenceCase{"AmountEntryInsideAReceipt",
                     [](DocumentCollector& c) {
                         c.item(false, "A", std::nullopt, money(100), 1);
                         return c.amountEntry(money(100));
                     },
                     lancode::WrongSequence}),
    rownames::byName);

} // namespace
