// SPDX-License-Identifier: MIT
#pragma once

#include "printer/Currency.h"
#include "printer/ReceiptRules.h"

#include <array>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

class Folder;

// What the simulated printer keeps in its fiscal memory across restarts:
// counters, the day's totals since the last closure and the receipt in
// progress. Stored as Simulatore/stato.ini.
struct SimState {
    using Receipt = ReceiptRules::Document;
    enum Payment { Cash, Cheque, Card, Ticket, Other, PaymentKinds };

    struct Totals {
        Currency sales, returns, discounts;
        std::array<Currency, PaymentKinds> payments{};
        std::map<int, Currency> departments; // net of returns
        bool operator==(const Totals&) const = default;
        Currency net() const { return sales - returns - discounts; }
    };

    // Counters of the printer's life.
    int lastReceipt = 0;   // fiscal receipts since the last closure
    int lastNonFiscal = 0; // non-fiscal documents since the last closure
    int closures = 0;
    Currency grandTotal;
    bool paperEnd = false;

    // The day, since the last closure.
    int receipts = 0; // fiscal receipts paid
    int voided = 0;
    int drawerOpenings = 0;
    Currency amountEntries;
    Totals day;

    // The receipt in progress.
    Receipt receipt = Receipt::None;
    int receiptNumber = 0;
    int itemLines = 0; // sale and return lines of the fiscal receipt
    Totals current;

    // The paper roll this state accounts for: its length in bytes once the
    // last print is on it (-1: not known, a state written before the roll
    // was measured) and the text of that last print. The state is saved
    // before the text goes on the roll, so a roll found shorter is completed
    // from here and the two always agree.
    long long journalLength = -1;
    std::string lastPrinted;

    bool operator==(const SimState&) const = default;

    Currency paid() const;
    Currency due() const { return current.net() - paid(); }

    std::string serialize() const;
    // Unknown or malformed entries keep their defaults.
    static SimState parse(const std::string& text);
    // False when the text is not a whole state: a line that is neither a
    // section nor a key, a known key whose value does not read, or no
    // [Stampante] section. Unknown keys are allowed (a newer version's).
    static bool parseChecked(const std::string& text, SimState& out);

    // Refused: a link, a folder or a special file stands in the file's
    // place (errno says which); it is neither read nor written through.
    enum class Loaded { Missing, Read, Corrupt, Refused };
    static Loaded load(const Folder& folder, std::string_view name, SimState& out);
    // Replaces the file atomically and durably (its folder flushed too);
    // false, with errno set, when it could not be written or something else
    // than a regular file stands in its place.
    bool save(const Folder& folder, std::string_view name) const;

    // The same by path, for tools and tests: the folder is opened as it is.
    static Loaded load(const std::filesystem::path& file, SimState& out);
    // The state in the file, or a fresh one when it is missing or corrupt.
    static SimState load(const std::filesystem::path& file);
    bool save(const std::filesystem::path& file) const;
};
