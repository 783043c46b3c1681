#include "printer/TestReceipt.h"
// STUB
bool TEST(PrinterControl&, ErrorHandler&) { return false; }
