// SPDX-License-Identifier: MIT
#include "bridge/RunningFile.h"

#include "core/FileAccess.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr char Header[] = "TESSIRO NOTA 2\n";
// A mark is written in whole sectors: one for any name a folder can hold.
constexpr std::size_t Sector = 512;

const char* stageWord(RunningRecord::Stage stage)
{
    switch (stage) {
    case RunningRecord::Stage::Taken: return "preso";
    case RunningRecord::Stage::Sale: return "vendita";
    case RunningRecord::Stage::Payment: return "pagamento";
    case RunningRecord::Stage::Done: return "eseguito";
    case RunningRecord::Stage::Failed: return "fallito";
    }
    return "preso";
}

std::optional<RunningRecord::Stage> stageOf(const std::string& word)
{
    using Stage = RunningRecord::Stage;
    for (const Stage stage : {Stage::Taken, Stage::Sale, Stage::Payment, Stage::Done, Stage::Failed})
        if (word == stageWord(stage))
            return stage;
    // The single note of earlier versions: its file had begun.
    if (word == "avviato")
        return Stage::Sale;
    return std::nullopt;
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

std::uint32_t crc32(std::string_view bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string hex32(std::uint32_t value)
{
    char buffer[9];
    std::snprintf(buffer, sizeof buffer, "%08x", value);
    return buffer;
}

// The fields of a mark, or of the one-record note of earlier versions.
std::optional<RunningRecord> fields(const std::string& text)
{
    RunningRecord record;
    bool name = false, stage = false;
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
            const auto read = stageOf(value);
            if (!read)
                return std::nullopt;
            record.stage = *read;
            stage = true;
        }
    }
    if (!name || !stage)
        return std::nullopt;
    return record;
}

// A note that cannot be read: no name, and past "preso", since anything may
// have been sent and left open.
RunningRecord damaged()
{
    return RunningRecord{{}, false, false, RunningRecord::Stage::Sale};
}

std::string errnoText()
{
    return std::strerror(errno);
}

} // namespace

RunningFile::RunningFile(fs::path programDir) : m_dir(std::move(programDir)) {}

std::string RunningFile::encode(const RunningRecord& record, std::uint64_t sequence)
{
    const std::string body = std::string(Header) + "seq=" + std::to_string(sequence) + "\nnome=" + hex(record.name) +
                             "\nfiscale=" + (record.fiscal ? "1" : "0") + "\nnonfiscale=" +
                             (record.nonFiscal ? "1" : "0") + "\nfase=" + stageWord(record.stage) + "\n";
    return body + "somma=" + hex32(crc32(body)) + "\n";
}

std::optional<std::pair<RunningRecord, std::uint64_t>> RunningFile::decode(const std::string& slot)
{
    if (slot.rfind(Header, 0) != 0)
        return std::nullopt;
    const auto sum = slot.find("somma=");
    if (sum == std::string::npos || slot.size() < sum + 15 || slot[sum + 14] != '\n')
        return std::nullopt;
    const std::string body = slot.substr(0, sum);
    if (slot.substr(sum + 6, 8) != hex32(crc32(body)))
        return std::nullopt;
    const auto record = fields(body);
    const auto seqAt = body.find("seq=");
    if (!record || seqAt == std::string::npos)
        return std::nullopt;
    std::uint64_t sequence = 0;
    const char* first = body.data() + seqAt + 4;
    const auto parsed = std::from_chars(first, body.data() + body.size(), sequence);
    if (parsed.ec != std::errc() || *parsed.ptr != '\n')
        return std::nullopt;
    return std::make_pair(*record, sequence);
}

bool RunningFile::prepare()
{
    const Folder dir = Folder::open(m_dir);
    // The aside file of the single-record note of earlier versions.
    dir.remove(std::string(FileName) + ".nuovo");
    UniqueFd fd = dir.openFile(FileName, O_RDWR | O_CREAT);
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0) {
        const int error = errno;
        m_misplaced = error == ELOOP || error == EISDIR || error == EINVAL;
        m_why = std::string(FileName) + ": " + accessError(error);
        return false;
    }
    m_misplaced = false;
    const off_t size = off_t(2 * SlotSize);
    if (st.st_size != size || st.st_blocks * 512 < size) {
        // What was there (a note of an earlier version, a damaged one) has
        // been read at start-up and is dealt with by a mark of its own.
        const std::string zeros(2 * SlotSize, '\0');
        if (!writeAll(fd.get(), zeros, 0) || ::ftruncate(fd.get(), size) != 0 || ::fsync(fd.get()) != 0 ||
            !dir.sync()) {
            m_why = accessError(errno);
            return false;
        }
    }
    m_sequence = 0;
    for (std::size_t slot = 0; slot < 2; ++slot) {
        std::string bytes(SlotSize, '\0');
        if (::pread(fd.get(), bytes.data(), SlotSize, off_t(slot * SlotSize)) == ssize_t(SlotSize))
            if (const auto read = decode(bytes); read && read->second > m_sequence)
                m_sequence = read->second;
    }
    m_fd = std::move(fd);
    return true;
}

bool RunningFile::mark(const RunningRecord& record)
{
    if (!m_fd) {
        m_why = "the note was never made ready";
        return false;
    }
    const std::uint64_t sequence = m_sequence + 1;
    std::string bytes = encode(record, sequence);
    bytes.resize((bytes.size() + Sector - 1) / Sector * Sector, '\0');
    if (bytes.size() > SlotSize) {
        m_why = "name too long for the note";
        return false;
    }
    if (!writeInPlace(m_fd.get(), bytes, off_t((sequence % 2) * SlotSize))) {
        m_why = errnoText();
        return false;
    }
    m_sequence = sequence;
    return true;
}

std::optional<RunningRecord> RunningFile::read() const
{
    const UniqueFd fd = Folder::open(m_dir).openFile(FileName, O_RDONLY);
    if (!fd)
        return std::nullopt;
    std::string bytes(2 * SlotSize, '\0');
    ssize_t got = 0;
    for (ssize_t n; got < ssize_t(bytes.size()) && (n = ::pread(fd.get(), bytes.data() + got, bytes.size() - got, got)) > 0;)
        got += n;
    bytes.resize(std::size_t(std::max<ssize_t>(got, 0)));
    if (bytes.rfind("nome=", 0) == 0) {
        // The single note of earlier versions, whole only with its end line.
        const auto record = bytes.find("\nfine\n") != std::string::npos ? fields(bytes) : std::nullopt;
        return record && !record->name.empty() ? *record : damaged();
    }
    std::optional<std::pair<RunningRecord, std::uint64_t>> newest;
    for (std::size_t at = 0; at < bytes.size(); at += SlotSize) {
        const auto slot = decode(bytes.substr(at, SlotSize));
        if (slot && (!newest || slot->second > newest->second))
            newest = slot;
    }
    if (newest)
        return newest->first.name.empty() ? std::nullopt : std::optional<RunningRecord>(newest->first);
    // Never marked, or no mark left whole.
    if (bytes.find_first_not_of('\0') == std::string::npos)
        return std::nullopt;
    return damaged();
}

bool RunningFile::clear()
{
    return mark(RunningRecord{{}, false, false, RunningRecord::Stage::Done});
}
