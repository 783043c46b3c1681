// SPDX-License-Identifier: MIT
#include "app/FileOutcome.h"

#include "commands/Interprete.h"

void FileOutcome::record(ErrorHandler::RecordKind kind, const std::string& text)
{
    if (kind == ErrorHandler::RecordKind::Failure)
        ++m_failures;
    if (kind != ErrorHandler::RecordKind::Problem)
        return;
    if (text.find(MsgFileNonEseguito) != std::string::npos)
        m_discarded = true;
    else if (text.find(MsgPrimoCodiceSconosciuto) != std::string::npos || text.find(MsgFileVuoto) != std::string::npos)
        m_notRun = true;
}

FileOutcome::Result FileOutcome::result() const
{
    if (m_discarded)
        return Result::Discarded;
    if (m_failures > 0)
        return Result::Failed;
    return m_notRun ? Result::NotRun : Result::Run;
}

const char* FileOutcome::name(Result result)
{
    switch (result) {
    case Result::Run: return "eseguito";
    case Result::Failed: return "non riuscito";
    case Result::NotRun: return "non eseguito";
    case Result::Discarded: return "scartato";
    }
    return "";
}
