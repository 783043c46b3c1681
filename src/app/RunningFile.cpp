// SPDX-License-Identifier: MIT
#include "app/RunningFile.h"

#include "core/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* stageWord(RunningRecord::Stage stage)
{
    switch (stage) {
    case RunningRecord::Stage::Started: return "avviato";
    case RunningRecord::Stage::Payment: return "pagamento";
    case RunningRecord::Stage::Done: return "eseguito";
    case RunningRecord::Stage::Failed: return "fallito";
    }
    return "avviato";
}

// Names may hold any byte but "/" and NUL, line ends included: stored in hex.
std::string hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 0xF];
    }
    return out;
}

std::optional<std::string> unhex(const std::string& text)
{
    if (text.size() % 2 != 0)
        return std::nullopt;
    const auto value = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = value(text[i]), lo = value(text[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
    }
    return out;
}

} // namespace

bool syncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

RunningFile::RunningFile(fs::path programDir) : m_dir(std::move(programDir)) {}

std::string RunningFile::encode(const RunningRecord& record)
{
    return std::string("nome=") + hex(record.name) + "\nfiscale=" + (record.fiscal ? "1" : "0") +
           "\nnonfiscale=" + (record.nonFiscal ? "1" : "0") + "\nfase=" + stageWord(record.stage) + "\nfine\n";
}

std::optional<RunningRecord> RunningFile::decode(const std::string& text)
{
    RunningRecord record;
    bool name = false, stage = false, end = false;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        const std::string key = line.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
        if (key == "nome") {
            const auto decoded = unhex(value);
            if (!decoded)
                return std::nullopt;
            record.name = *decoded;
            name = true;
        } else if (key == "fiscale") {
            record.fiscal = value == "1";
        } else if (key == "nonfiscale") {
            record.nonFiscal = value == "1";
        } else if (key == "fase") {
            stage = true;
            if (value == "avviato")
                record.stage = RunningRecord::Stage::Started;
            else if (value == "pagamento")
                record.stage = RunningRecord::Stage::Payment;
            else if (value == "eseguito")
                record.stage = RunningRecord::Stage::Done;
            else if (value == "fallito")
                record.stage = RunningRecord::Stage::Failed;
            else
                return std::nullopt;
        } else if (key == "fine") {
            end = true;
        }
    }
    if (!name || !stage || !end || record.name.empty())
        return std::nullopt;
    return record;
}

bool RunningFile::write(const RunningRecord& record)
{
    const fs::path target = m_dir / FileName;
    const fs::path aside = m_dir / (std::string(FileName) + ".nuovo");
    const int fd = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        m_why = std::strerror(errno);
        return false;
    }
    bool stored = writeAll(fd, encode(record)) && ::fsync(fd) == 0;
    if (!stored)
        m_why = std::strerror(errno);
    if (::close(fd) != 0 && stored) {
        m_why = std::strerror(errno);
        stored = false;
    }
    if (stored && ::rename(aside.c_str(), target.c_str()) != 0) {
        m_why = std::strerror(errno);
        stored = false;
    }
    if (!stored) {
        ::unlink(aside.c_str());
        return false;
    }
    if (!syncFolder(m_dir)) {
        m_why = std::strerror(errno);
        return false;
    }
    return true;
}

std::optional<RunningRecord> RunningFile::read() const
{
    std::ifstream in(m_dir / FileName, std::ios::binary);
    if (!in.is_open())
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (auto record = decode(text.str()))
        return record;
    return RunningRecord{};
}

bool RunningFile::clear()
{
    std::error_code ec;
    fs::remove(m_dir / (std::string(FileName) + ".nuovo"), ec);
    ec.clear();
    fs::remove(m_dir / FileName, ec);
    if (ec)
        m_why = ec.message();
    return !ec;
}
