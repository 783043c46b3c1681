// SPDX-License-Identifier: MIT
#include "lan/LanCodes.h"
#include "lan/LanReply.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

HttpOutcome replied(const QByteArray& body, int status = 200)
{
    HttpOutcome o;
    o.kind = HttpOutcome::Kind::Replied;
    o.requestSent = true;
    o.httpStatus = status;
    o.body = body;
    return o;
}

QByteArray response(const char* success, const char* keyword, const char* status, const char* info = "")
{
    return QByteArray(
               "<?xml version=\"1.0\" encoding=\"utf-8\"?><soapenv:Envelope "
               "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body><response success=\"") +
           success + "\" code=\"" + keyword + "\" status=\"" + status + "\">" + info +
           "</response></soapenv:Body></soapenv:Envelope>";
}

// ------------------------------------------------------ every keyword

struct KeywordCase {
    const char* name;
    const char* keyword;
    const char* status;
    int16_t code;
};

class ReplyKeywords : public ::testing::TestWithParam<KeywordCase> {};

TEST_P(ReplyKeywords, BecomeTheContractsCodes)
{
    const KeywordCase& c = GetParam();
    const LanReply r = readReply(replied(response("false", c.keyword, c.status)));
    EXPECT_TRUE(r.fromPrinter);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.keyword.toStdString(), c.keyword);
    EXPECT_NE(r.detail().toStdString().find(c.keyword), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReplyKeywords,
    ::testing::Values(KeywordCase{"PaperEnd", "EPTR_REC_EMPTY", "3", lancode::PaperEnd},
                      KeywordCase{"PrinterOffline", "PRINTER ERROR", "3", lancode::PaperEnd},
                      KeywordCase{"WrongSequence", "PRINTER ERROR", "11", lancode::WrongSequence},
                      KeywordCase{"InvalidValue", "PRINTER ERROR", "13", lancode::InvalidData},
                      KeywordCase{"InvalidIndex", "PRINTER ERROR", "16", lancode::InvalidData},
                      KeywordCase{"NonExistentData", "PRINTER ERROR", "12", lancode::UnknownDepartment},
                      KeywordCase{"AmountAboveMaximum", "PRINTER ERROR", "20", lancode::AmountTooLarge},
                      KeywordCase{"ValueOutOfRange", "PRINTER ERROR", "21", lancode::AmountTooLarge},
                      KeywordCase{"NotPossibleNow", "PRINTER ERROR", "17", lancode::PrinterError},
                      KeywordCase{"FiscalUnitNoAnswer", "FP_NO_ANSWER", "0", lancode::NoAnswer},
                      KeywordCase{"NetworkNoAnswer", "FP_NO_ANSWER_NETWORK", "0", lancode::NoAnswer},
                      KeywordCase{"LanError", "LAN_ERROR", "0", lancode::Unavailable},
                      KeywordCase{"LanTimeOut", "LAN_TIME_OUT", "0", lancode::NoAnswer},
                      KeywordCase{"MechanismTM", "TM_NO_ANSWER/OFF_LINE", "0", lancode::NoAnswer},
                      KeywordCase{"MechanismTP", "TP_NO_ANSWER/OFF_LINE", "0", lancode::NoAnswer},
                      KeywordCase{"NoData", "NO_DATA", "0", lancode::DocumentRefused},
                      KeywordCase{"NoRam", "NO_RAM", "0", lancode::OutOfMemory},
                      KeywordCase{"ParserError", "PARSER_ERROR", "0", lancode::DocumentRefused},
                      KeywordCase{"ParserErrorOtherSpelling", "PARSER_EROR", "0", lancode::DocumentRefused},
                      KeywordCase{"IncompleteFile", "INCOMPLETE FILE", "0", lancode::DocumentRefused},
                      KeywordCase{"NonValidCommand", "Non valid XML command", "0", lancode::DocumentRefused},
                      KeywordCase{"NoValidCommand", "No valid XML command", "0", lancode::DocumentRefused},
                      KeywordCase{"ConfigurationFile", "CONFIGURATION_FILE_ERROR", "0", lancode::DocumentRefused},
                      KeywordCase{"ElectronicPayment", "EFT_POS_ERROR", "0", lancode::ElectronicPayment},
                      KeywordCase{"LowerCaseMatched", "eptr_rec_empty", "3", lancode::PaperEnd},
                      KeywordCase{"UnknownKeyword", "SOMETHING_NEW", "0", lancode::PrinterError}),
    rownames::byName);

// ------------------------------------------------------ status digits

struct DigitsCase {
    const char* name;
    const char* digits;
    std::optional<bool> open;
};

class ReplyStatusDigits : public ::testing::TestWithParam<DigitsCase> {};

TEST_P(ReplyStatusDigits, TellWhetherADocumentIsOpen)
{
    const std::string info = std::string("<addInfo><elementList>printerStatus</elementList><printerStatus>") +
                             GetParam().digits + "</printerStatus></addInfo>";
    const LanReply r = readReply(replied(response("true", "", "2", info.c_str())));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.printerStatus.toStdString(), GetParam().digits);
    EXPECT_EQ(r.documentOpen(), GetParam().open);
}

INSTANTIATE_TEST_SUITE_P(Table, ReplyStatusDigits,
                         ::testing::Values(DigitsCase{"NoneOpen", "00110", false},
                                           DigitsCase{"FiscalReceiptOpen", "30100", true},
                                           DigitsCase{"NonFiscalOpen", "00120", true},
                                           DigitsCase{"PaymentInProgress", "00130", true},
                                           DigitsCase{"InvoiceOpen", "00180", true},
                                           DigitsCase{"NegativeSubtotalIsNoOpenState", "00150", false},
                                           DigitsCase{"TooShort", "001", std::nullopt}),
                         rownames::byName);

TEST(ReplyReading, StatusQueryDigitsComeFromFpStatus)
{
    const LanReply r = readReply(replied(response(
        "true", "", "2",
        "<addInfo><elementList>lastCommand</elementList><cpuRel>07.00</cpuRel><fpStatus>00120</fpStatus></addInfo>")));
    EXPECT_EQ(r.printerStatus.toStdString(), "00120");
    EXPECT_EQ(r.info.at(QStringLiteral("cpuRel")).toStdString(), "07.00");
    EXPECT_EQ(r.documentOpen(), std::optional<bool>(true));
}

TEST(ReplyReading, MissingAddInfoIsASuccessWithNoDigits)
{
    const LanReply r = readReply(replied(response("true", "", "2")));
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.fromPrinter);
    EXPECT_TRUE(r.info.empty());
    EXPECT_EQ(r.documentOpen(), std::nullopt);
}

TEST(ReplyReading, OutsideTextsAreCleanedAndCut)
{
    const LanReply r = readReply(replied(response(
        "false", "X&#13;&#10;Tessiro_Error: COR999999.txt;01/01/2026 00:00:00;RECORD FALSO", "17",
        "<addInfo><printerStatus>00110</printerStatus><fiscalReceiptAmount>1&#10;2</fiscalReceiptAmount></addInfo>")));
    EXPECT_EQ(r.keyword.toStdString(), "X??Tessiro_Error: COR999999.txt;01/01/2026 00:00:00;RECORD FALSO");
    EXPECT_EQ(r.info.at(QStringLiteral("fiscalReceiptAmount")).toStdString(), "1?2");
    const std::string longKeyword(500, 'K');
    EXPECT_EQ(readReply(replied(response("false", longKeyword.c_str(), "17"))).keyword.size(), 200);
}

TEST(ReplyReading, SuccessOneIsSuccess)
{
    EXPECT_EQ(readReply(replied(response("1", "", "2"))).code, 0);
}

TEST(ReplyReading, ExampleRepliesOfTheNotesRead)
{
    const LanReply ok = readReply(replied(
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<soapenv:Envelope "
        "xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\">\n  <soapenv:Body>\n    <response success=\"true\" "
        "code=\"\" status=\"2\">\n      <addInfo>\n        "
        "<elementList>lastCommand,printerStatus,fiscalReceiptNumber,fiscalReceiptAmount,fiscalReceiptDate,"
        "fiscalReceiptTime,zRepNumber</elementList>\n        <lastCommand>74</lastCommand>\n        "
        "<printerStatus>00110</printerStatus>\n        <fiscalReceiptNumber>27</fiscalReceiptNumber>\n        "
        "<fiscalReceiptAmount>3,50</fiscalReceiptAmount>\n      </addInfo>\n    </response>\n  "
        "</soapenv:Body>\n</soapenv:Envelope>"));
    EXPECT_EQ(ok.code, 0);
    EXPECT_EQ(ok.info.at(QStringLiteral("fiscalReceiptNumber")).toStdString(), "27");
    EXPECT_EQ(ok.documentOpen(), std::optional<bool>(false));

    const LanReply paper = readReply(replied(response(
        "false", "EPTR_REC_EMPTY", "3",
        "<addInfo><elementList>lastCommand,printerStatus</elementList><lastCommand>74</lastCommand><printerStatus>30100</printerStatus></addInfo>")));
    EXPECT_EQ(paper.code, lancode::PaperEnd);
    EXPECT_EQ(paper.detail().toStdString(), "EPTR_REC_EMPTY, stato 3, stampante 30100");
    EXPECT_EQ(paper.documentOpen(), std::optional<bool>(true));
}

// ---------------------------------------------- exchanges with no reply

struct BrokenCase {
    const char* name;
    HttpOutcome outcome;
    int16_t code;
    const char* problem;
};

class ReplyBroken : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(ReplyBroken, IsAFailureNotFromThePrinter)
{
    const LanReply r = readReply(GetParam().outcome);
    EXPECT_FALSE(r.fromPrinter);
    EXPECT_EQ(r.code, GetParam().code);
    EXPECT_NE(r.detail().toStdString().find(GetParam().problem), std::string::npos) << r.detail().toStdString();
    EXPECT_EQ(r.documentOpen(), std::nullopt);
}

HttpOutcome noReply(HttpOutcome::Kind kind, const char* error, bool sent = false)
{
    HttpOutcome o;
    o.kind = kind;
    o.error = QString::fromLatin1(error);
    o.requestSent = sent;
    return o;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReplyBroken,
    ::testing::Values(
        // Whatever comes back after the whole document went out leaves it in
        // doubt: the printer may have printed it.
        BrokenCase{"NotXml", replied("Hello, world"), lancode::NoAnswer, "risposta non leggibile"},
        BrokenCase{"XmlWithoutResponse", replied("<a><b/></a>"), lancode::NoAnswer, "senza elemento response"},
        BrokenCase{"TruncatedXml", replied(response("true", "", "2").left(120)), lancode::NoAnswer,
                   "risposta non leggibile"},
        BrokenCase{"HttpError", replied("<html>oops</html>", 500), lancode::NoAnswer, "HTTP 500"},
        BrokenCase{"HttpUnavailable", replied("", 503), lancode::NoAnswer, "HTTP 503"},
        BrokenCase{"Timeout", noReply(HttpOutcome::Kind::Timeout, "no complete reply", true), lancode::NoAnswer,
                   "nessuna risposta in tempo"},
        BrokenCase{"DroppedAfterTheWholeRequest",
                   noReply(HttpOutcome::Kind::NoConnection, "collegamento chiuso prima della risposta", true),
                   lancode::NoAnswer, "risposta mancante o interrotta"},
        // Before the last byte went out, or refused by the service itself:
        // safe to send again.
        BrokenCase{"HttpNotFound", replied(response("true", "", "2"), 404), lancode::Communication, "HTTP 404"},
        BrokenCase{"HttpBadRequest", replied("", 400), lancode::Communication, "non accettato dal servizio"},
        BrokenCase{"Refused", noReply(HttpOutcome::Kind::NoConnection, "Connection refused"), lancode::Communication,
                   "Connection refused"},
        BrokenCase{"DroppedWhileSending",
                   noReply(HttpOutcome::Kind::NoConnection, "invio del documento interrotto (reset)"),
                   lancode::Communication, "documento non inviato"},
        BrokenCase{"TimeoutBeforeConnecting", noReply(HttpOutcome::Kind::Timeout, "collegamento non riuscito"),
                   lancode::Communication, "documento non inviato"},
        BrokenCase{"Tls", noReply(HttpOutcome::Kind::Tls, "certificate X is not the pinned Y"), lancode::Certificate,
                   "not the pinned"}),
    rownames::byName);

TEST(ReplyCodes, TimeoutTextSaysTheReceiptMayOrMayNotHavePrinted)
{
    EXPECT_NE(lancode::text(lancode::NoAnswer).find("potrebbe essere stato stampato oppure no"), std::string::npos);
    EXPECT_NE(lancode::text(lancode::NoAnswer).find("verificare prima di reinviare"), std::string::npos);
    EXPECT_EQ(lancode::text(lancode::Communication).find("potrebbe"), std::string::npos);
    EXPECT_NE(lancode::text(lancode::WrongSequence).find("SEQUENZA ERRATA"), std::string::npos);
}

} // namespace
