// SPDX-License-Identifier: MIT
#pragma once

#include "printer/PrinterControl.h"

#include <csignal>

namespace apptest {

// Passes every call to another control and, at the call numbered `killAt`
// (from 1), kills its own process with SIGKILL before the call is made (or,
// with `afterCall`, once the printer has done it): a bridge in a forked child
// stopped exactly there, as by a power cut.
class KillingPrinter : public PrinterControl {
public:
    KillingPrinter(PrinterControl& inner, int killAt, bool afterCall = false)
        : m_inner(inner), m_killAt(killAt), m_afterCall(afterCall)
    {
        m_inner.onErrorEvent = [this](int16_t level, int32_t code) {
            if (onErrorEvent)
                onErrorEvent(level, code);
        };
    }
    ~KillingPrinter() override { m_inner.onErrorEvent = nullptr; }

    int calls() const { return m_calls; }

#define TESSIRO_FORWARD(Ret, Name, Params, Args)                                                                       \
    Ret Name Params override                                                                                           \
    {                                                                                                                  \
        const Step step(*this);                                                                                        \
        return m_inner.Name Args;                                                                                      \
    }
    TESSIRO_FORWARD(void, setOpenOptionA, (int32_t v), (v))
    TESSIRO_FORWARD(void, setOpenOptionB, (int32_t v), (v))
    TESSIRO_FORWARD(void, setComPort, (int16_t v), (v))
    TESSIRO_FORWARD(void, setComSettings, (const std::string& v), (v))
    TESSIRO_FORWARD(void, setItemOptionA, (int16_t v), (v))
    TESSIRO_FORWARD(void, setItemOptionB, (int16_t v), (v))
    TESSIRO_FORWARD(void, OpenPort, (), ())
    TESSIRO_FORWARD(void, ClosePort, (), ())
    TESSIRO_FORWARD(bool, PortIsOpen, (), ())
    TESSIRO_FORWARD(bool, Busy, (), ())
    TESSIRO_FORWARD(OpenDocument, DocumentOpen, (), ())
    TESSIRO_FORWARD(int16_t, SellDept, (int16_t a, const std::string& b, Currency c, int16_t d), (a, b, c, d))
    TESSIRO_FORWARD(int16_t, SellDeptQty, (int16_t a, const std::string& b, float c, Currency d, int16_t e),
                    (a, b, c, d, e))
    TESSIRO_FORWARD(int16_t, ReturnDept, (int16_t a, const std::string& b, Currency c, int16_t d), (a, b, c, d))
    TESSIRO_FORWARD(int16_t, ReturnDeptQty, (int16_t a, const std::string& b, float c, Currency d, int16_t e),
                    (a, b, c, d, e))
    TESSIRO_FORWARD(int16_t, ReturnDeptAmount, (int16_t a, const std::string& b, Currency c, int16_t d), (a, b, c, d))
    TESSIRO_FORWARD(int16_t, AddDescription, (int16_t a, const std::string& b), (a, b))
    TESSIRO_FORWARD(int16_t, ExtraLine, (int16_t a, int16_t b, const std::string& c), (a, b, c))
    TESSIRO_FORWARD(int16_t, Subtotal, (int16_t a), (a))
    TESSIRO_FORWARD(int16_t, SubtotalDiscount, (int16_t a, Currency b), (a, b))
    TESSIRO_FORWARD(int16_t, CancelReceipt, (int16_t a), (a))
    TESSIRO_FORWARD(int16_t, PayCash, (int16_t a, Currency b), (a, b))
    TESSIRO_FORWARD(int16_t, PayCheque, (int16_t a, Currency b), (a, b))
    TESSIRO_FORWARD(int16_t, PayCard, (int16_t a, int16_t b), (a, b))
    TESSIRO_FORWARD(int16_t, PayTicket, (int16_t a, int16_t b, Currency c), (a, b, c))
    TESSIRO_FORWARD(int16_t, PayTender, (int16_t a, const std::string& b, Currency c, int32_t d, int16_t e, int16_t f),
                    (a, b, c, d, e, f))
    TESSIRO_FORWARD(int16_t, OpenNonFiscal, (int16_t a), (a))
    TESSIRO_FORWARD(int16_t, NonFiscalLine, (int16_t a, int16_t b, const std::string& c), (a, b, c))
    TESSIRO_FORWARD(int16_t, CloseNonFiscal, (int16_t a), (a))
    TESSIRO_FORWARD(int16_t, DisplayText, (int16_t a, const std::string& b), (a, b))
    TESSIRO_FORWARD(int16_t, OpenCmd, (int16_t a), (a))
    TESSIRO_FORWARD(int16_t, AmountEntry, (int16_t a, Currency b), (a, b))
    TESSIRO_FORWARD(int16_t, FiscalClosure, (int16_t a), (a))
    TESSIRO_FORWARD(int16_t, FiscalClosureAlt, (int16_t a), (a))
    TESSIRO_FORWARD(int16_t, PaperEndRecovery, (int16_t a), (a))
    TESSIRO_FORWARD(std::string, ErrorText, (int16_t a, int32_t b), (a, b))
#undef TESSIRO_FORWARD

private:
    // Counts the call; kills before it, or when it returns.
    struct Step {
        explicit Step(KillingPrinter& p) : printer(p)
        {
            if (++p.m_calls == p.m_killAt && !p.m_afterCall)
                std::raise(SIGKILL);
        }
        ~Step()
        {
            if (printer.m_calls == printer.m_killAt && printer.m_afterCall)
                std::raise(SIGKILL);
        }
        KillingPrinter& printer;
    };

    PrinterControl& m_inner;
    int m_killAt;
    bool m_afterCall;
    int m_calls = 0;
};

} // namespace apptest
