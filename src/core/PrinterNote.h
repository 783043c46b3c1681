// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

// What a control has to say of its own accord, to go on record as an action
// (not a failure): what a printer's numbers told of a document left in
// doubt, an amount the printer counted otherwise.
struct PrinterNote {
    std::string file;   // the command file it concerns (bare name); empty: the one being run
    std::string action; // the action text, 8-bit
    // Set when the file may be sent again: Kelmora_CORR is to name it, but
    // only while it still holds this value (what it held when the doubt
    // arose), so that a newer failure's reference is never overwritten.
    std::optional<std::string> resendIfCorrHolds;
};
