// SPDX-License-Identifier: MIT
#include "printer/ForwardingControl.h"

#include <array>
#include <cstring>
#include <type_traits>
#include <utility>

using Kind = ControlCall::Kind;

ForwardingControl::ForwardingControl(PrinterControl& inner) : m_inner(inner)
{
    m_inner.onErrorEvent = [this](int16_t level, int32_t code) {
        if (onErrorEvent)
            onErrorEvent(level, code);
    };
    m_inner.whileWaiting = [this] {
        if (whileWaiting)
            whileWaiting();
    };
    m_inner.onNote = [this](const PrinterNote& note) {
        if (onNote)
            onNote(note);
    };
    m_inner.currentFile = [this] { return currentFile ? currentFile() : std::string(); };
}

ForwardingControl::ForwardingControl(std::unique_ptr<PrinterControl> inner) : ForwardingControl(*inner)
{
    m_owned = std::move(inner);
}

ForwardingControl::~ForwardingControl()
{
    m_inner.onErrorEvent = nullptr;
    m_inner.whileWaiting = nullptr;
    m_inner.onNote = nullptr;
    m_inner.currentFile = nullptr;
}

CallValue ForwardingControl::pass(const ControlCall&, const std::function<CallValue()>& make)
{
    return make();
}

template <typename Result, typename... Params, typename... Args>
Result ForwardingControl::forward(Kind kind, const char* name, Result (PrinterControl::*member)(Params...),
                                  const Args&... arguments)
{
    const std::array<CallValue, sizeof...(Args)> values{CallValue(std::in_place_type<Args>, arguments)...};
    // A put is named without its "set".
    const ControlCall call{kind, kind == Kind::Put ? name + std::strlen("set") : name, values};
    if constexpr (std::is_void_v<Result>) {
        pass(call, [&] {
            (m_inner.*member)(arguments...);
            return CallValue();
        });
    } else {
        return std::get<Result>(
            pass(call, [&] { return CallValue(std::in_place_type<Result>, (m_inner.*member)(arguments...)); }));
    }
}

// Every member of the contract, each a call to forward().
#define TESSIRO_ARGUMENTS(...) __VA_OPT__(, ) __VA_ARGS__
#define TESSIRO_FORWARD(kind, result, name, parameters, arguments)                                                     \
    result ForwardingControl::name parameters                                                                          \
    {                                                                                                                  \
        return forward(Kind::kind, #name, &PrinterControl::name TESSIRO_ARGUMENTS arguments);                          \
    }
TESSIRO_PRINTER_OPERATIONS(TESSIRO_FORWARD)
