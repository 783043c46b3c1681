// SPDX-License-Identifier: MIT
#include "printer/TestReceipt.h"

#include "config/SettingsFields.h"
#include "config/Text.h"
#include "errors/ErrorHandler.h"
#include "printer/ComandiEpson.h"
#include "printer/Porta.h"

#include <array>

bool(TEST)(PrinterControl& control, ErrorHandler& errors, const std::filesystem::path& config)
{
    const std::string port = storedText(SettingsField::Seriale, config);
    const std::string settings = storedText(SettingsField::Setting, config);

    bool allDone = ApriPorta(control, errors, toInt16(port), settings);
    const auto step = [&allDone](bool done) { allDone = done && allDone; };

    ComandiEpson ops(control, errors, config);
    const int16_t idOp = 1;
    const auto whole = Currency::fromWhole;
    const auto cents = Currency::fromHundredths;

    step(ops.opMsgVisoreCortesia(idOp, "CASSA PROVA .................. CLT1"));
    step(ops.opReparto(idOp, "PANE", whole(1), cents(5), whole(1)));
    step(ops.opReparto(idOp, "pomodori", whole(3), cents(4), whole(1)));
    step(ops.opDescAgg(idOp, "- IL LATTE DEL PARCO -"));
    step(ops.opRepartoReso(idOp, "MARMELLATA", cents(5), whole(1), whole(1)));
    step(ops.AbbuonoSubTot(idOp, whole(1)));

    static const std::array<const char*, 7> extraLines = {
        "* * * * * * * * * * * * * * ", "CLIENTE: CARTA SOCIO        ", "* * * * * * * * * * * * * * ",
        "PUNTI OGGI               10 ", "PUNTI SPESI               5 ", "PUNTI TOT               100 ",
        "* * * * * * * * * * * * * * ",
    };
    int16_t lineNumber = 0;
    for (const char* line : extraLines) {
        ++lineNumber;
        step(ops.opRigaAggiuntiva(idOp, lineNumber, line));
    }

    step(ops.ChiudiScontrino(1, Currency(), whole(10), 1, ""));
    step(ops.opMsgVisoreCortesia(idOp, "ARRIVEDERCI E GRAZIE PER LA PREFERENZA"));

    ChiudiPorta(control, errors);
    return allDone;
}
