// SPDX-License-Identifier: MIT
#pragma once

#include "printer/Currency.h"

#include <array>
#include <filesystem>
#include <map>
#include <string>

// What the simulated printer keeps in its fiscal memory across restarts:
// counters, the day's totals since the last closure and the receipt in
// progress. Stored as Simulatore/stato.ini.
struct SimState {
    enum class Receipt { None, Fiscal, Payment, NonFiscal };
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
    Totals current;

    bool operator==(const SimState&) const = default;

    Currency paid() const;
    Currency due() const { return current.net() - paid(); }

    std::string serialize() const;
    // Unknown or malformed entries keep their defaults.
    static SimState parse(const std::string& text);

    static SimState load(const std::filesystem::path& file);
    // Replaces the file atomically; false when it could not be written.
    bool save(const std::filesystem::path& file) const;
};
