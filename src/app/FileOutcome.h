// SPDX-License-Identifier: MIT
#pragma once

#include "errors/ErrorHandler.h"

#include <string>

// How a command file ended, told from the records logged while it ran, so
// that the operations log and `ctl stato` say the same. A file that asked
// nothing of the printer (empty, or an unknown first code) did not run: it
// is never "eseguito".
class FileOutcome {
public:
    enum class Result { Run, Failed, NotRun, Discarded };

    // A file is taken: nothing said of it yet.
    void start() { *this = FileOutcome(); }
    void record(ErrorHandler::RecordKind kind, const std::string& text);
    Result result() const;

    // "eseguito", "non riuscito", "non eseguito", "scartato".
    static const char* name(Result result);

private:
    int m_failures = 0;
    bool m_discarded = false;
    bool m_notRun = false;
};
