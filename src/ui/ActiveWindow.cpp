// SPDX-License-Identifier: MIT
#include "ui/ActiveWindow.h"

#include <QGuiApplication>

#ifdef TESSIRO_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The 32-bit values of `property` on `window`, at most `max` of them.
template <typename F>
bool forEachValue(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property, xcb_atom_t type, uint32_t max, F&& f)
{
    const Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, max), nullptr));
    if (!reply || reply->format != 32)
        return false;
    const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    for (int i = 0; i < count; ++i)
        if (f(values[i]))
            return true;
    return false;
}

} // namespace

bool activeWindowIsFullscreen()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return false;
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (!screens.rem)
        return false;
    const xcb_window_t root = screens.data->root;
    const xcb_atom_t activeAtom = atom(c, "_NET_ACTIVE_WINDOW");
    const xcb_atom_t stateAtom = atom(c, "_NET_WM_STATE");
    const xcb_atom_t fullscreen = atom(c, "_NET_WM_STATE_FULLSCREEN");
    if (!activeAtom || !stateAtom || !fullscreen)
        return false;
    xcb_window_t active = XCB_WINDOW_NONE;
    forEachValue(c, root, activeAtom, XCB_ATOM_WINDOW, 1, [&](uint32_t w) {
        active = w;
        return true;
    });
    if (active == XCB_WINDOW_NONE)
        return false;
    return forEachValue(c, active, stateAtom, XCB_ATOM_ATOM, 32, [&](uint32_t a) { return a == fullscreen; });
}

#else

bool activeWindowIsFullscreen()
{
    return false;
}

#endif
