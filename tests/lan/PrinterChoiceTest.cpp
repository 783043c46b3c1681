// SPDX-License-Identifier: MIT
// The printer choice of a program folder, init --printer, and the pinned
// certificate of an https printer. The certificates in tests/lan/data are
// self-signed for 127.0.0.1 and serve these tests only.
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/Subcommands.h"
#include "lan/FakeService.h"
#include "lan/LanCodes.h"
#include "lan/LanPrinter.h"
#include "lan/PrinterChoice.h"
#include "lan/serve/PrinterServer.h"
#include "simulator/SimulatedPrinter.h"
#include "support/FakeClock.h"
#include "support/Files.h"
#include "support/RowNames.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QSslCertificate>
#include <QTemporaryDir>

#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string fingerprintOfFile(const char* name)
{
    QFile f(QStringLiteral(TESSIRO_LAN_TEST_DATA "/") + QLatin1String(name));
    f.open(QIODevice::ReadOnly);
    return QSslCertificate(f.readAll()).digest(QCryptographicHash::Sha256).toHex(':').toUpper().toStdString();
}

class PrinterChoiceFixture : public ::testing::Test {
protected:
    PrinterChoiceFixture() : m_dir(testfiles::path(m_tmp)) {}

    bool store(const std::string& printer)
    {
        m_out.str({});
        m_err.str({});
        return storePrinterChoice(m_dir, printer, m_out, m_err, 5000);
    }

    QTemporaryDir m_tmp;
    fs::path m_dir;
    FakeClock m_clock;
    std::ostringstream m_out, m_err;
};

TEST_F(PrinterChoiceFixture, NoFileMeansTheSimulator)
{
    const PrinterChoice c = readPrinterChoice(m_dir);
    EXPECT_EQ(c.kind, PrinterChoice::Kind::Simulator);
    EXPECT_EQ(c.describe(), "stampante simulata");
    std::ostringstream err;
    const auto printer = makeChosenPrinter(m_dir, m_clock, err);
    EXPECT_NE(dynamic_cast<SimulatedPrinter*>(printer.get()), nullptr);
}

TEST_F(PrinterChoiceFixture, HttpAddressIsStoredInAFileOfItsOwnAndReadBack)
{
    ASSERT_TRUE(store("http://192.168.1.50:8080/")) << m_err.str();
    EXPECT_FALSE(fs::exists(m_dir / "_Configurazione.ini"));
    const PrinterChoice c = readPrinterChoice(m_dir);
    EXPECT_EQ(c.kind, PrinterChoice::Kind::Lan);
    EXPECT_EQ(c.address, "http://192.168.1.50:8080");
    EXPECT_TRUE(c.problem.empty()) << c.problem;
    EXPECT_EQ(c.describe(), "stampante LAN http://192.168.1.50:8080");
    std::ostringstream err;
    EXPECT_NE(dynamic_cast<LanPrinter*>(makeChosenPrinter(m_dir, m_clock, err).get()), nullptr) << err.str();
}

TEST_F(PrinterChoiceFixture, SimulatoreGoesBack)
{
    ASSERT_TRUE(store("http://192.168.1.50"));
    ASSERT_TRUE(store("simulatore"));
    EXPECT_EQ(readPrinterChoice(m_dir).kind, PrinterChoice::Kind::Simulator);
}

struct BadPrinterCase {
    const char* name;
    const char* printer;
};

class PrinterChoiceRefuses : public PrinterChoiceFixture, public ::testing::WithParamInterface<BadPrinterCase> {};

TEST_P(PrinterChoiceRefuses, AnAddressItCannotUseAndChangesNothing)
{
    ASSERT_TRUE(store("http://10.0.0.1"));
    const std::string before = testfiles::read(m_dir / PrinterChoice::FileName);
    EXPECT_FALSE(store(GetParam().printer));
    EXPECT_FALSE(m_err.str().empty());
    EXPECT_EQ(testfiles::read(m_dir / PrinterChoice::FileName), before);
}

INSTANTIATE_TEST_SUITE_P(Table, PrinterChoiceRefuses,
                         ::testing::Values(BadPrinterCase{"NoScheme", "192.168.1.50"},
                                           BadPrinterCase{"OtherScheme", "ftp://192.168.1.50"},
                                           BadPrinterCase{"WithPath", "http://192.168.1.50/cgi-bin/fpmate.cgi"},
                                           BadPrinterCase{"BadPort", "http://192.168.1.50:99999"},
                                           BadPrinterCase{"HttpsNobodyThere", "https://127.0.0.1:1"}),
                         rownames::byName);

TEST_F(PrinterChoiceFixture, UnusableFileStopsTheStartWithTheReason)
{
    testfiles::write(m_dir / PrinterChoice::FileName, "[Stampante]\nTipo=seriale\n");
    std::ostringstream err;
    EXPECT_EQ(makeChosenPrinter(m_dir, m_clock, err), nullptr);
    EXPECT_NE(err.str().find("Tipo=seriale"), std::string::npos) << err.str();

    testfiles::write(m_dir / PrinterChoice::FileName, "[Stampante]\nTipo=lan\nIndirizzo=https://10.0.0.1\n");
    err.str({});
    EXPECT_EQ(makeChosenPrinter(m_dir, m_clock, err), nullptr);
    EXPECT_NE(err.str().find("no certificate pinned"), std::string::npos) << err.str();
}

TEST_F(PrinterChoiceFixture, HttpsPinsTheCertificateThePrinterShows)
{
    FakeService printer(FakeService::tlsFrom("printer-cert.pem", "printer-key.pem"));
    ASSERT_TRUE(store(printer.address())) << m_err.str();
    const std::string fingerprint = fingerprintOfFile("printer-cert.pem");
    EXPECT_EQ(readPrinterChoice(m_dir).fingerprint, fingerprint);
    EXPECT_NE(m_out.str().find(fingerprint), std::string::npos) << m_out.str();

    std::ostringstream err;
    auto control = makeChosenPrinter(m_dir, m_clock, err);
    ASSERT_NE(control, nullptr) << err.str();
    control->OpenPort();
    EXPECT_EQ(control->DisplayText(1, "CIAO"), 0);
    EXPECT_TRUE(printer.last().contains("data=\"CIAO\""));
    // The self-signed certificate's errors were accepted, and the trace says so.
    const std::string trace = testfiles::read(m_dir / LanPrinter::TraceFile);
    EXPECT_NE(trace.find("-- TLS: certificato " + fingerprint + " accettato"), std::string::npos) << trace;
}

TEST_F(PrinterChoiceFixture, AnotherCertificateLaterIsRefusedWithAClearText)
{
    FakeService other(FakeService::tlsFrom("other-cert.pem", "other-key.pem"));
    const QString pin = QString::fromStdString(fingerprintOfFile("printer-cert.pem"));
    LanPrinter control(m_dir, m_clock, *LanEndpoint::parse(QString::fromStdString(other.address())), pin);
    try {
        control.OpenPort();
        FAIL() << "the other certificate was accepted";
    } catch (const ControlFailure& failure) {
        EXPECT_NE(failure.description().find("non raggiungibile: TLS: certificate " +
                                             fingerprintOfFile("other-cert.pem") + " is not the pinned " +
                                             pin.toStdString()),
                  std::string::npos)
            << failure.description();
    }
    EXPECT_TRUE(other.requests().empty());
}

TEST_F(PrinterChoiceFixture, HttpsWithoutAPinIsRefused)
{
    FakeService printer(FakeService::tlsFrom("printer-cert.pem", "printer-key.pem"));
    LanPrinter control(m_dir, m_clock, *LanEndpoint::parse(QString::fromStdString(printer.address())));
    EXPECT_THROW(control.OpenPort(), ControlFailure);
    EXPECT_TRUE(printer.requests().empty());
}

// ---------------------------------------------------------------- init

CommandLine parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "tessiro");
    return parseCommandLine(args);
}

TEST(InitCommandLine, TakesPrinterAndDir)
{
    const CommandLine c = parse({"init", "--dir", "/tmp/x", "--printer", "http://1.2.3.4"});
    EXPECT_EQ(c.action, CommandLine::Action::Init);
    EXPECT_EQ(c.printer, std::optional<std::string>("http://1.2.3.4"));
    EXPECT_FALSE(parse({"init"}).printer);
    EXPECT_EQ(parse({"--printer", "simulatore"}).action, CommandLine::Action::Invalid);
    EXPECT_EQ(parse({"init", "extra"}).action, CommandLine::Action::Invalid);
}

TEST(ServePrinterCommandLine, NeedsDirAndListen)
{
    const CommandLine c = parse({"serve-printer", "--dir", "/tmp/x", "--listen", "127.0.0.1:0"});
    EXPECT_EQ(c.action, CommandLine::Action::ServePrinter);
    EXPECT_EQ(c.listen, "127.0.0.1:0");
    EXPECT_EQ(parse({"serve-printer", "--dir", "/tmp/x"}).action, CommandLine::Action::Invalid);
    EXPECT_EQ(parse({"serve-printer", "--listen", "127.0.0.1:0"}).action, CommandLine::Action::Invalid);
    EXPECT_EQ(parse({"--listen", "127.0.0.1:0"}).action, CommandLine::Action::Invalid);
}

TEST_F(PrinterChoiceFixture, InitWithoutPrinterLeavesTheChoiceAlone)
{
    ASSERT_TRUE(store("http://10.0.0.1"));
    const std::string before = testfiles::read(m_dir / PrinterChoice::FileName);
    std::ostringstream out, err;
    EXPECT_EQ(initFolder(parse({"init"}), m_dir, out, err), 0);
    EXPECT_EQ(testfiles::read(m_dir / PrinterChoice::FileName), before);
}

TEST_F(PrinterChoiceFixture, InitSaysWhenABridgeHoldsTheFolder)
{
    SingleInstance bridge(m_dir);
    ASSERT_TRUE(bridge.acquire());
    std::ostringstream out, err;
    EXPECT_EQ(initFolder(parse({"init", "--printer", "http://10.0.0.1"}), m_dir, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("takes effect when that bridge starts again"), std::string::npos) << out.str();
    EXPECT_EQ(readPrinterChoice(m_dir).address, "http://10.0.0.1");
}

TEST_F(PrinterChoiceFixture, InitCreatesAMissingFolder)
{
    std::ostringstream out, err;
    EXPECT_EQ(initFolder(parse({"init", "--printer", "simulatore"}), m_dir / "nuova", out, err), 0) << err.str();
    EXPECT_EQ(readPrinterChoice(m_dir / "nuova").kind, PrinterChoice::Kind::Simulator);
    EXPECT_TRUE(fs::exists(m_dir / "nuova" / PrinterChoice::FileName));
}

TEST(ListenAddress, HostAndPort)
{
    QHostAddress address;
    quint16 port = 1;
    QString why;
    EXPECT_TRUE(parseListen(QStringLiteral("127.0.0.1:0"), &address, &port, &why));
    EXPECT_EQ(port, 0);
    EXPECT_TRUE(parseListen(QStringLiteral("[::1]:8080"), &address, &port, &why));
    EXPECT_EQ(port, 8080);
    EXPECT_FALSE(parseListen(QStringLiteral("127.0.0.1"), &address, &port, &why));
    EXPECT_FALSE(parseListen(QStringLiteral("stampante:80"), &address, &port, &why));
    EXPECT_FALSE(parseListen(QStringLiteral("127.0.0.1:70000"), &address, &port, &why));
}

} // namespace
