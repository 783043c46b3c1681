// SPDX-License-Identifier: MIT
#pragma once

#include "printer/ForwardingControl.h"

#include <csignal>

namespace bridgetest {

// Passes every call to another control and, at the call numbered `killAt`
// (from 1), kills its own process with SIGKILL before the call is made (or,
// with `afterCall`, once the printer has done it): a bridge in a forked child
// stopped exactly there, as by a power cut.
class KillingPrinter : public ForwardingControl {
public:
    KillingPrinter(PrinterControl& inner, int killAt, bool afterCall = false)
        : ForwardingControl(inner), m_killAt(killAt), m_afterCall(afterCall)
    {}

    int calls() const { return m_calls; }

protected:
    CallValue pass(const ControlCall&, const std::function<CallValue()>& make) override
    {
        const Step step(*this);
        return make();
    }

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

    int m_killAt;
    bool m_afterCall;
    int m_calls = 0;
};

} // namespace bridgetest
