// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>

// The program's icon, embedded in the binary: window, tray and About logo.
QIcon programIcon();

// The tray's icon while an error stands: the program's icon under a red
// badge with a white "!", told apart at a glance even at tray size.
QIcon errorIcon();
