// SPDX-License-Identifier: MIT
#pragma once

#include "printer/AcceptingControl.h"
#include "printer/ForwardingControl.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace bridgetest {

// A printer control that accepts everything and records each call by name.
// `codes` makes a named call return a failure code; `onOpenPort` runs inside
// OpenPort, where a test can look at the bridge in the middle of a file.
class RecordingPrinter : public ForwardingControl {
public:
    RecordingPrinter() : ForwardingControl(std::make_unique<AcceptingControl>()) {}

    std::vector<std::string> calls;
    std::map<std::string, int16_t> codes;
    std::function<void()> onOpenPort;
    // Runs inside every printing call (those that answer with a code).
    std::function<void()> onCall;
    bool open = false;

    int count(const std::string& name) const
    {
        int n = 0;
        for (const auto& c : calls)
            n += c == name;
        return n;
    }

    void OpenPort() override
    {
        calls.push_back("OpenPort");
        open = true;
        if (onOpenPort)
            onOpenPort();
    }
    void ClosePort() override
    {
        calls.push_back("ClosePort");
        open = false;
    }
    bool PortIsOpen() override { return open; }
    // What DocumentOpen answers; a test sets it.
    OpenDocument document = OpenDocument::None;
    OpenDocument DocumentOpen() override { return document; }
    std::string ErrorText(int16_t, int32_t) override { return "errore simulato"; }

protected:
    // Puts are recorded as "setComPort", a display text as "DisplayText:" and
    // the text.
    CallValue pass(const ControlCall& call, const std::function<CallValue()>& make) override
    {
        if (call.kind == ControlCall::Kind::Put)
            calls.push_back(std::string("set") + call.name);
        if (call.kind != ControlCall::Kind::Printing)
            return make();
        std::string name = call.name;
        if (name == "DisplayText")
            name += ":" + std::get<std::string>(call.arguments[1]);
        calls.push_back(name);
        if (onCall)
            onCall();
        const auto it = codes.find(name);
        return it == codes.end() ? make() : CallValue(std::in_place_type<int16_t>, it->second);
    }
};

} // namespace bridgetest
