// SPDX-License-Identifier: MIT
#pragma once

#include "support/Files.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace bridgetest {

// The simulated printer's paper roll cut into documents: each begins at a
// rule of "=" and ends at its numbered last line. What the tests of receipt
// integrity ask of it: which markers (ID-nnnnnn) each document holds, whether
// it was paid or voided, and whether one was left open.
struct RollDocument {
    std::set<std::string> markers;
    std::string text;        // every line, each ended by a line feed
    std::string closingLine; // "SCONTRINO N. 0003 ...", empty while open
    bool voided = false;
    bool fiscal() const { return closingLine.rfind("SCONTRINO N.", 0) == 0; }
};

struct ReceiptRoll {
    std::vector<RollDocument> documents;
    bool openAtEnd = false;      // the last document has no closing line
    bool openOverlapped = false; // a document began while another was open

    static ReceiptRoll read(const std::filesystem::path& journal)
    {
        ReceiptRoll roll;
        bool open = false;
        for (const std::string& line : testfiles::lines(journal)) {
            if (!line.empty() && line.find_first_not_of('=') == std::string::npos) {
                if (open)
                    roll.openOverlapped = true;
                roll.documents.emplace_back();
                open = true;
                continue;
            }
            if (!open)
                continue;
            RollDocument& doc = roll.documents.back();
            doc.text += line + "\n";
            for (size_t at = line.find("ID-"); at != std::string::npos; at = line.find("ID-", at + 1))
                if (at + 9 <= line.size() && std::all_of(line.begin() + long(at) + 3, line.begin() + long(at) + 9,
                                                         [](char c) { return c >= '0' && c <= '9'; }))
                    doc.markers.insert(line.substr(at, 9));
            if (line.find("SCONTRINO ANNULLATO") != std::string::npos)
                doc.voided = true;
            if (line.rfind("SCONTRINO N.", 0) == 0 || line.rfind("NON FISCALE N.", 0) == 0 ||
                line.rfind("CHIUSURA N.", 0) == 0) {
                doc.closingLine = line;
                open = false;
            }
        }
        roll.openAtEnd = open;
        return roll;
    }

    // The fiscal receipts paid (not voided) that hold `marker`.
    std::vector<const RollDocument*> paidHolding(const std::string& marker) const
    {
        std::vector<const RollDocument*> found;
        for (const auto& doc : documents)
            if (doc.fiscal() && !doc.voided && doc.markers.count(marker))
                found.push_back(&doc);
        return found;
    }
    // Paid (not voided) fiscal receipts holding `marker`.
    int paidWith(const std::string& marker) const { return static_cast<int>(paidHolding(marker).size()); }
    bool anyMerged() const
    {
        for (const auto& doc : documents)
            if (doc.markers.size() > 1)
                return true;
        return false;
    }
    // The number of a receipt closed twice, if any.
    std::string numberClosedTwice() const
    {
        std::set<std::string> seen;
        for (const auto& doc : documents) {
            if (!doc.fiscal())
                continue;
            const std::string number = doc.closingLine.substr(0, 17);
            if (!seen.insert(number).second)
                return number;
        }
        return {};
    }
};

} // namespace bridgetest
