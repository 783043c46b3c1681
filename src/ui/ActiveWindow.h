// SPDX-License-Identifier: MIT
#pragma once

// Whether the window that has the keyboard now (another program's, as the
// window manager names it) covers the screen in full-screen mode. A window
// shown without activation stays below such a window whatever its
// stay-on-top flag says, so the error must be activated there to be seen.
// False where it cannot be told: no X11 connection (Wayland, offscreen),
// no window manager that names the active window.
bool activeWindowIsFullscreen();
