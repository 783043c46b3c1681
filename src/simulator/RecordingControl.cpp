// SPDX-License-Identifier: MIT
#include "simulator/RecordingControl.h"

#include "printer/AcceptingControl.h"
#include "simulator/CallTrace.h"

#include <memory>
#include <string_view>
#include <type_traits>

namespace {

// What answers behind the trace: everything is accepted, and an error's text
// names its code.
class Accepting final : public AcceptingControl {
public:
    std::string ErrorText(int16_t, int32_t code) override { return "errore " + std::to_string(code); }
};

std::string traced(const CallValue& value)
{
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return {};
            else if constexpr (std::is_same_v<T, OpenDocument>)
                return openDocumentName(v);
            else
                return calltrace::value(v);
        },
        value);
}

} // namespace

RecordingControl::RecordingControl() : ForwardingControl(std::make_unique<Accepting>()) {}

std::vector<std::string> RecordingControl::take()
{
    std::vector<std::string> lines;
    lines.swap(m_lines);
    return lines;
}

CallValue RecordingControl::pass(const ControlCall& call, const std::function<CallValue()>& make)
{
    CallValue answer = make();
    if (call.kind == ControlCall::Kind::Get)
        return answer;
    if (call.kind == ControlCall::Kind::Printing) {
        // Every call is taken, so a sale or description opens a receipt, any
        // payment closes it (it pays what is due), and a void ends it.
        const std::string_view n = call.name;
        if (n.starts_with("Sell") || n.starts_with("Return") || n == "AddDescription" || n == "Subtotal" ||
            n == "SubtotalDiscount" || n == "ExtraLine")
            m_document = OpenDocument::Fiscal;
        else if (n.starts_with("Pay") || n == "CancelReceipt" || n == "CloseNonFiscal")
            m_document = OpenDocument::None;
        else if (n == "OpenNonFiscal")
            m_document = OpenDocument::NonFiscal;
    }

    std::string arguments;
    for (const CallValue& argument : call.arguments)
        arguments += (arguments.empty() ? "" : ", ") + traced(argument);
    if (call.kind == ControlCall::Kind::Put)
        m_lines.push_back(calltrace::put(call.name, arguments));
    else if (std::holds_alternative<std::monostate>(answer))
        m_lines.push_back(calltrace::call(call.name, arguments));
    else
        m_lines.push_back(calltrace::call(call.name, arguments, traced(answer)));
    return answer;
}
