// SPDX-License-Identifier: MIT
// Record reading, splitting and the field conversions on arbitrary bytes.
#include "commands/SpezzaRiga.h"
#include "printer/Currency.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    RecordReader reader(in);
    std::string record;
    LineFields fields;
    size_t records = 0;
    for (;;) {
        const auto result = reader.next(record);
        if (result == RecordReader::Result::End)
            break;
        if (record.size() > RecordReader::MaxRecord)
            std::abort(); // the reader must never hold more than a record's bound
        if (++records > size + 1)
            std::abort(); // every record consumes input: no endless loop
        SpezzaRiga(record, fields);
        size_t joined = 0;
        for (const auto& f : fields.field) {
            if (f.find(':') != std::string::npos)
                std::abort(); // a colon always separates fields
            joined += f.size();
        }
        if (joined > record.size())
            std::abort();
        for (const auto& f : fields.field) {
            for (int64_t divisor : {1, 100, 1000}) {
                const auto amount = Currency::parse(f, divisor);
                if (amount) {
                    // Formatting then parsing gives the same amount back.
                    const auto back = Currency::parse(amount->toString(), 1);
                    if (!back || *back != *amount)
                        std::abort();
                    (void)amount->toInt16();
                    (void)amount->floorWhole();
                }
            }
        }
    }
    return 0;
}
