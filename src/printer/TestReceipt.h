#pragma once

class PrinterControl;
class ErrorHandler;

// Prints the sample fiscal receipt of the TEST button with the port settings
// read from the configuration. True when every step succeeded.
bool TEST(PrinterControl& control, ErrorHandler& errors);
