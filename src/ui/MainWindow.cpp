#include "ui/MainWindow.h"
// STUB
