// SPDX-License-Identifier: MIT
#include "errors/ErrorsBench.h"
#include "printer/ForwardingControl.h"
#include "printer/Porta.h"
#include "support/RowNames.h"

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

// The simulator, except that one operation raises a control failure, as a
// control whose device went away does; the simulator raises only on OpenPort.
class FailingControl final : public ForwardingControl {
public:
    FailingControl(PrinterControl& inner, std::string failing) : ForwardingControl(inner), m_failing(std::move(failing))
    {
    }

protected:
    CallValue pass(const ControlCall& call, const std::function<CallValue()>& make) override
    {
        if (m_failing == call.name)
            throw ControlFailure("Dispositivo rimosso");
        return make();
    }

private:
    std::string m_failing;
};

// ---- Opening and closing ---------------------------------------------------

class PortOpening : public ErrorsBench {};

TEST_F(PortOpening, ClosedPortGetsTheFullSequenceInOrder)
{
    EXPECT_TRUE(ApriPorta(printer(), errors, 3, "9600,n,8,1"));

    EXPECT_EQ(calls(), (std::vector<std::string>{"OpenOptionA", "PortIsOpen", "OpenOptionB", "ComPort", "ComSettings",
                                                 "OpenPort"}));
    EXPECT_TRUE(traceHasLine("OpenOptionA = 2"));
    EXPECT_TRUE(traceHasLine("OpenOptionB = 0"));
    EXPECT_TRUE(traceHasLine("ComPort = 3"));
    EXPECT_TRUE(traceHasLine("ComSettings = \"9600,n,8,1\""));
    EXPECT_TRUE(printer().PortIsOpen());
    EXPECT_FALSE(state.errorState);
}

TEST_F(PortOpening, PortLeftOpenIsClosedBeforeItIsOpenedAgain)
{
    ASSERT_TRUE(ApriPorta(printer(), errors, 3, "9600,n,8,1"));
    EXPECT_TRUE(ApriPorta(printer(), errors, 4, "19200,n,8,1"));

    EXPECT_TRUE(inOrder(calls(), {"OpenPort", "OpenOptionA", "PortIsOpen", "ClosePort", "OpenOptionB", "ComPort",
                                  "ComSettings", "OpenPort"}));
    EXPECT_TRUE(traceHasLine("ComPort = 4"));
}

TEST_F(PortOpening, PortNumberThatIsNoNumberReportsTheConfigurationAndSendsNothingMore)
{
    EXPECT_FALSE(ApriPorta(printer(), errors, std::nullopt, "9600,n,8,1"));

    EXPECT_EQ(calls(), std::vector<std::string>{"OpenOptionA"});
    EXPECT_EQ(notFiscalLog(),
              std::vector<std::string>{std::string("Tessiro_Error: ;") + Now +
                                       ";APERTURA PORTA NON RIUSCITA. Controllare parametri di configurazione."});
    EXPECT_TRUE(state.errorState);
}

TEST_F(PortOpening, ControlThatRaisesOnOpenIsReportedWithItsDescription)
{
    fault("OpenPort", "Porta COM3 inesistente");
    EXPECT_FALSE(ApriPorta(printer(), errors, 3, "9600,n,8,1"));

    EXPECT_EQ(notFiscalLog(), std::vector<std::string>{std::string("Tessiro_Error: ;") + Now +
                                                       ";Apertura Porta: Porta COM3 inesistente"});
    EXPECT_NE(window.programText.find("Apertura Porta: Porta COM3 inesistente"), std::string::npos);
}

TEST_F(PortOpening, ClosingAClosedPortOnlyAsks)
{
    ChiudiPorta(printer(), errors);
    EXPECT_EQ(calls(), std::vector<std::string>{"PortIsOpen"});
}

TEST_F(PortOpening, ClosingAnOpenPortReleasesIt)
{
    ASSERT_TRUE(ApriPorta(printer(), errors, 3, "9600,n,8,1"));
    ChiudiPorta(printer(), errors);
    EXPECT_TRUE(inOrder(calls(), {"OpenPort", "PortIsOpen", "ClosePort"}));
    EXPECT_FALSE(printer().PortIsOpen());
}

TEST_F(PortOpening, ControlThatRaisesOnCloseIsReportedAndTheCallerGoesOn)
{
    FailingControl control(printer(), "ClosePort");
    ASSERT_TRUE(ApriPorta(control, errors, 3, "9600,n,8,1"));
    ChiudiPorta(control, errors);

    EXPECT_EQ(notFiscalLog(),
              std::vector<std::string>{std::string("Tessiro_Error: ;") + Now + ";Chiusura Porta: Dispositivo rimosso"});
}

TEST_F(PortOpening, ControlThatRaisesOnClosingALeftOpenPortEndsTheOpening)
{
    FailingControl control(printer(), "ClosePort");
    ASSERT_TRUE(ApriPorta(control, errors, 3, "9600,n,8,1"));
    EXPECT_FALSE(ApriPorta(control, errors, 3, "9600,n,8,1"));

    EXPECT_EQ(notFiscalLog(),
              std::vector<std::string>{std::string("Tessiro_Error: ;") + Now + ";Apertura Porta: Dispositivo rimosso"});
    const auto names = calls();
    EXPECT_EQ(std::count(names.begin(), names.end(), "OpenPort"), 1);
}

// ---- The operations that open and close the port themselves ---------------

struct Wrapped {
    const char* name;
    const char* call;     // trace name of the one printer call
    const char* callLine; // its trace line's start
    const char* failureLabel;
    std::function<void(PrinterControl&, ErrorHandler&, std::optional<int16_t>, const std::string&)> run;
    friend void PrintTo(const Wrapped& w, std::ostream* os) { *os << w.name; }
};

class PortWrapping : public ErrorsBench, public ::testing::WithParamInterface<Wrapped> {};

TEST_P(PortWrapping, RunsItsCallInsideOneOpeningAndLeavesThePortClosed)
{
    GetParam().run(printer(), errors, 3, "9600,n,8,1");

    EXPECT_TRUE(inOrder(calls(), {"OpenOptionA", "ComPort", "OpenPort", GetParam().call, "PortIsOpen", "ClosePort"}));
    EXPECT_TRUE(traceHasLine(GetParam().callLine));
    EXPECT_FALSE(printer().PortIsOpen());
    EXPECT_FALSE(std::filesystem::exists(state.notFiscalLog()));
}

TEST_P(PortWrapping, PortThatWillNotOpenIsReportedAndTheCallIsStillMade)
{
    fault("OpenPort", "assente");
    GetParam().run(printer(), errors, 3, "9600,n,8,1");

    EXPECT_TRUE(traced(GetParam().call));
    ASSERT_FALSE(notFiscalLog().empty());
    EXPECT_EQ(notFiscalLog().front(), std::string("Tessiro_Error: ;") + Now + ";Apertura Porta: assente");
}

TEST_P(PortWrapping, ControlFailureOfTheCallIsReportedOnceThePortIsClosed)
{
    FailingControl control(printer(), GetParam().call);
    bool portClosedAtReport = false;
    errors.onRecord = [&](ErrorHandler::RecordKind, const std::string&, const std::string&) {
        portClosedAtReport = inOrder(calls(), {"OpenPort", "PortIsOpen", "ClosePort"});
    };

    GetParam().run(control, errors, 3, "9600,n,8,1");

    EXPECT_TRUE(portClosedAtReport);
    EXPECT_EQ(notFiscalLog(), std::vector<std::string>{std::string("Tessiro_Error: ;") + Now + ";" +
                                                       GetParam().failureLabel + "Dispositivo rimosso"});
    EXPECT_FALSE(printer().PortIsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Porta, PortWrapping,
    ::testing::Values(Wrapped{"AnnullaScontrino", "CancelReceipt", "CancelReceipt(1)", "AnnullaScontrino: ",
                              [](PrinterControl& c, ErrorHandler& e, std::optional<int16_t> p, const std::string& s) {
                                  AnnullaScontrino(c, e, p, s);
                              }},
                      Wrapped{"ChiudiNonFiscaleBloccato", "CloseNonFiscal", "CloseNonFiscal(1)",
                              "ChiudiNonFiscaleBloccato: ",
                              [](PrinterControl& c, ErrorHandler& e, std::optional<int16_t> p, const std::string& s) {
                                  ChiudiNonFiscaleBloccato(c, e, p, s);
                              }},
                      Wrapped{"RecuperoFineCarta", "PaperEndRecovery", "PaperEndRecovery(1)", "opApri PROBLEMI ",
                              [](PrinterControl& c, ErrorHandler& e, std::optional<int16_t> p, const std::string& s) {
                                  // Its answer has a test of its own; the table compares the calls and reports.
                                  (void)RecuperoFineCarta(c, e, p, s, 1);
                              }}),
    rownames::byName);

class VoidAndClose : public ErrorsBench, public ::testing::WithParamInterface<const char*> {};

TEST_P(VoidAndClose, RefusalCodeOfTheCallIsNotReported)
{
    fault(GetParam(), "5");
    AnnullaScontrino(printer(), errors, 3, "9600,n,8,1");
    ChiudiNonFiscaleBloccato(printer(), errors, 3, "9600,n,8,1");
    EXPECT_FALSE(std::filesystem::exists(state.notFiscalLog()));
    EXPECT_FALSE(state.errorState);
}

INSTANTIATE_TEST_SUITE_P(Porta, VoidAndClose, ::testing::Values("CancelReceipt", "CloseNonFiscal"), rownames::byText);

class PaperEnd : public ErrorsBench {};

TEST_F(PaperEnd, CodeZeroGivesTrueAndLogsNothing)
{
    EXPECT_TRUE(RecuperoFineCarta(printer(), errors, 3, "9600,n,8,1", 1));
    EXPECT_FALSE(std::filesystem::exists(state.notFiscalLog()));
}

TEST_F(PaperEnd, ControlFailureGivesFalse)
{
    FailingControl control(printer(), "PaperEndRecovery");
    EXPECT_FALSE(RecuperoFineCarta(control, errors, 3, "9600,n,8,1", 1));
}

TEST_F(PaperEnd, RefusalIsReportedAfterThePortIsClosed)
{
    fault("PaperEndRecovery", "17");
    printer();
    bool portClosedAtReport = false;
    errors.onRecord = [&](ErrorHandler::RecordKind, const std::string&, const std::string&) {
        portClosedAtReport = inOrder(calls(), {"PaperEndRecovery", "ClosePort"});
    };

    EXPECT_FALSE(RecuperoFineCarta(printer(), errors, 3, "9600,n,8,1", 1));

    EXPECT_TRUE(portClosedAtReport);
    EXPECT_EQ(notFiscalLog(), std::vector<std::string>{std::string("Tessiro_Error: ;") + Now + ";opApri PROBLEMI "});
    EXPECT_TRUE(state.errorState);
}

} // namespace
