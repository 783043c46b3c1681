// SPDX-License-Identifier: MIT
#include "app/LogView.h"

#include "app/BridgeRun.h"
#include "app/Subcommands.h"
#include "bridge/TerminalText.h"
#include "core/Clock.h"
#include "errors/ErrorHandler.h"

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <ostream>

namespace fs = std::filesystem;

namespace {

// A printer's record: its message adds the code and the printer's text on
// two lines of their own.
constexpr char PrinterRecordStart[] = "PrinterError: ";
constexpr size_t PrinterRecordLines = 3;

size_t linesOf(const std::string& firstLine)
{
    return firstLine.rfind(PrinterRecordStart, 0) == 0 ? PrinterRecordLines : 1;
}

} // namespace

LogReader::LogReader(fs::path file) : m_file(std::move(file)) {}

std::vector<LogRecord> LogReader::next(bool atEnd)
{
    struct stat info {};
    m_exists = ::stat(m_file.c_str(), &info) == 0;
    if (m_exists) {
        const bool renewed = info.st_dev != m_device || info.st_ino != m_inode;
        if (renewed || std::uintmax_t(info.st_size) < m_offset) {
            m_device = info.st_dev;
            m_inode = info.st_ino;
            m_offset = 0;
            m_pending.clear();
        }
        if (std::uintmax_t(info.st_size) > m_offset) {
            std::ifstream in(m_file, std::ios::binary);
            in.seekg(std::streamoff(m_offset));
            std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            m_offset += bytes.size();
            m_pending += bytes;
        }
    }

    std::vector<LogRecord> records;
    size_t start = 0;
    for (;;) {
        // The complete lines from `start`, up to what the record needs.
        LogRecord record;
        size_t pos = start;
        size_t needed = 1;
        while (record.size() < needed) {
            const size_t end = m_pending.find('\n', pos);
            if (end == std::string::npos)
                break;
            std::string line = m_pending.substr(pos, end - pos);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (record.empty())
                needed = linesOf(line);
            record.push_back(std::move(line));
            pos = end + 1;
        }
        if (record.size() < needed) {
            if (atEnd && pos < m_pending.size()) {
                std::string rest = m_pending.substr(pos);
                if (!rest.empty() && rest.back() == '\r')
                    rest.pop_back();
                record.push_back(std::move(rest));
                pos = m_pending.size();
            }
            if (atEnd && !record.empty()) {
                records.push_back(std::move(record));
                start = pos;
            }
            break;
        }
        records.push_back(std::move(record));
        start = pos;
    }
    m_pending.erase(0, start);
    return records;
}

int showLogs(const fs::path& dir, CommandLine::Logs which, bool follow, std::ostream& out, std::ostream& err,
             Clock& clock, const std::function<bool()>& keepGoing, int pollMs)
{
    if (const std::string problem = programDirProblem(dir); !problem.empty()) {
        err << "tessiro: " << problem << '\n';
        return ExitUsage;
    }
    std::vector<std::pair<std::string, LogReader>> logs;
    if (which != CommandLine::Logs::NonFiscal)
        logs.emplace_back(ErrorHandler::FiscalLog, LogReader(dir / ErrorHandler::FiscalLog));
    if (which != CommandLine::Logs::Fiscal)
        logs.emplace_back(ErrorHandler::NotFiscalLog, LogReader(dir / ErrorHandler::NotFiscalLog));
    const bool named = logs.size() > 1;

    const auto show = [&](const std::string& name, const LogRecord& record) {
        const std::string lead = named ? name + ": " : std::string();
        for (size_t i = 0; i < record.size(); ++i)
            out << (i == 0 ? lead : std::string(lead.size() + 2, ' ')) << cp1252ToTerminal(record[i]) << '\n';
    };

    for (auto& [name, reader] : logs) {
        for (const LogRecord& record : reader.next(!follow))
            show(name, record);
        if (!reader.exists() && !follow)
            err << "tessiro: " << (dir / name).string() << " is not there (no record yet)\n";
    }
    out.flush();
    if (!follow)
        return out ? 0 : 1;

    while (!keepGoing || keepGoing()) {
        clock.sleepFor(std::chrono::milliseconds(pollMs));
        for (auto& [name, reader] : logs)
            for (const LogRecord& record : reader.next(false))
                show(name, record);
        out.flush();
        if (!out)
            return 1;
    }
    return 0;
}
