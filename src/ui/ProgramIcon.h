// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>

// The program's icon, embedded in the binary: window, tray and About logo.
QIcon programIcon();
