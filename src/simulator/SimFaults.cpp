// SPDX-License-Identifier: MIT
#include "simulator/SimFaults.h"

#include "config/IniFile.h"
#include "config/Text.h"
#include "core/Clock.h"
#include "core/FileAccess.h"
#include "simulator/SimState.h"

#include <cctype>
#include <charconv>
#include <chrono>
#include <sys/stat.h>
#include <utility>

namespace {

constexpr const char* Section = "Guasti";

// The operations that answer with a code and so can be made to fail.
constexpr const char* CodedOperations[] = {
    "SellDept",    "SellDeptQty", "ReturnDept",       "ReturnDeptQty", "ReturnDeptAmount", "AddDescription",
    "ExtraLine",   "Subtotal",    "SubtotalDiscount", "CancelReceipt", "PayCash",          "PayCheque",
    "PayCard",     "PayTicket",   "PayTender",        "OpenNonFiscal", "NonFiscalLine",    "CloseNonFiscal",
    "DisplayText", "OpenCmd",     "AmountEntry",      "FiscalClosure", "FiscalClosureAlt", "PaperEndRecovery",
};

// A time stamp this close to the reading time may be shared by a later write.
constexpr long long RacySeconds = 2;

bool sameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool operator==(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::optional<long long> wholeNumber(std::string_view text)
{
    const std::string t = trimmed(text);
    long long v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size())
        return std::nullopt;
    return v;
}

} // namespace

bool SimFaults::Signature::operator==(const Signature& o) const
{
    return exists == o.exists && refused == o.refused && size == o.size && inode == o.inode && mtime == o.mtime &&
           ctime == o.ctime;
}

SimFaults::SimFaults(const Folder& folder, std::string name, Clock& clock)
    : m_folder(folder), m_name(std::move(name)), m_clock(clock)
{}

SimFaults::Signature SimFaults::stamp() const
{
    Signature now;
    if (const auto st = m_folder.statAt(m_name)) {
        now.exists = true;
        now.refused = m_folder.notAFile(m_name);
        now.size = st->st_size;
        now.inode = static_cast<long long>(st->st_ino);
        now.mtime = st->st_mtim;
        now.ctime = st->st_ctim;
    }
    return now;
}

std::filesystem::path SimFaults::heldPath() const
{
    return std::filesystem::path("/proc/self/fd") / std::to_string(m_folder.fd()) / m_name;
}

void SimFaults::refresh()
{
    const Signature now = stamp();
    const bool changed = !(now == m_signature);
    if (!changed && !m_racy)
        return;

    std::string bytes;
    if (now.exists && now.refused) {
        if (changed)
            m_notices.push_back(m_name + " non letto (" + accessError(now.refused) + "): nessun guasto applicato");
        m_racy = false;
    } else if (now.exists) {
        if (auto read = m_folder.read(m_name))
            bytes = std::move(*read);
        const auto wall = std::chrono::system_clock::to_time_t(m_clock.wallNow());
        m_racy = wall - now.mtime.tv_sec < RacySeconds;
    } else {
        m_racy = false;
    }
    // A rewrite restarts the counts even with the same content; a repeated
    // read only applies what actually differs.
    if (!changed && bytes == m_bytes)
        return;
    m_signature = now;
    m_bytes = std::move(bytes);
    apply();
}

void SimFaults::apply()
{
    m_busyReads = 0;
    m_lostReplies = 0;
    m_paperEnd = false;
    m_events = true;
    m_openPortFailure.reset();
    m_codes.clear();
    if (!m_signature.exists || m_signature.refused)
        return;

    const IniFile file(heldPath(), m_clock);
    auto read = [&file](const char* key) { return file.read(Section, key, ""); };
    auto bad = [this](const char* key, const std::string& value) {
        m_notices.push_back(std::string("guasti.ini: valore non valido per ") + key + ": \"" + value + "\" (ignorato)");
    };
    if (const std::string v = read("Occupato"); !v.empty()) {
        if (const auto n = wholeNumber(v); n && *n >= 0)
            m_busyReads = *n;
        else
            bad("Occupato", v);
    }
    if (const std::string v = read("PerdiRisposta"); !v.empty()) {
        if (const auto n = wholeNumber(v); n && *n >= 0)
            m_lostReplies = *n;
        else
            bad("PerdiRisposta", v);
    }
    if (const std::string v = read("FineCarta"); !v.empty()) {
        if (const auto n = toDouble(v))
            m_paperEnd = *n != 0;
        else
            bad("FineCarta", v);
    }
    if (const std::string v = read("Evento"); !v.empty()) {
        if (const auto n = toDouble(v))
            m_events = *n != 0;
        else
            bad("Evento", v);
    }
    if (std::string text = read("OpenPort"); !text.empty())
        m_openPortFailure = std::move(text);
    for (const char* op : CodedOperations) {
        const std::string v = read(op);
        if (v.empty())
            continue;
        if (const auto code = toInt16(v); code && *code != 0)
            m_codes.emplace(op, *code);
        else if (!code)
            bad(op, v);
    }
    checkKeys();
}

// Names every key of the section that no fault answers to: a misspelt
// fault would otherwise be silently no fault at all.
void SimFaults::checkKeys()
{
    std::string_view text = m_bytes;
    bool inSection = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const size_t close = line.rfind(']');
            inSection = close != std::string::npos &&
                        sameText(trimmed(std::string_view(line).substr(1, close - 1)), Section);
            continue;
        }
        if (!inSection)
            continue;
        const size_t eq = line.find('=');
        const std::string key = trimmed(std::string_view(line).substr(0, eq));
        bool known = false;
        for (const char* k : {"Occupato", "PerdiRisposta", "FineCarta", "Evento", "OpenPort"})
            known = known || sameText(key, k);
        for (const char* op : CodedOperations)
            known = known || sameText(key, op);
        if (eq == std::string::npos)
            m_notices.push_back("guasti.ini: riga senza \"=\" ignorata: " + line);
        else if (!known)
            m_notices.push_back("guasti.ini: chiave sconosciuta ignorata: " + key);
    }
}

std::vector<std::string> SimFaults::takeNotices()
{
    return std::exchange(m_notices, {});
}

bool SimFaults::clearPaperEnd()
{
    if (!m_signature.exists || m_signature.refused)
        return true;
    // Through the folder's descriptor, so that a link put in the place of
    // the folder since it was opened leads nowhere else.
    IniFile file(heldPath(), m_clock);
    const std::string asked = file.read(Section, "FineCarta", "");
    if (asked.empty())
        return true;
    if (const auto value = toDouble(asked); value && *value == 0)
        return true;
    if (!file.write(Section, "FineCarta", "0"))
        return false;
    // The file is taken as read: only the paper end changed.
    m_signature = stamp();
    if (auto read = m_folder.read(m_name))
        m_bytes = std::move(*read);
    m_paperEnd = false;
    return true;
}

bool SimFaults::takeBusyRead()
{
    if (m_busyReads <= 0)
        return false;
    --m_busyReads;
    return true;
}

bool SimFaults::takeLostReply()
{
    if (m_lostReplies <= 0)
        return false;
    --m_lostReplies;
    return true;
}

bool SimFaults::takePaperEnd()
{
    const bool armed = m_paperEnd;
    m_paperEnd = false;
    return armed;
}

int16_t SimFaults::codeFor(std::string_view operation) const
{
    const auto it = m_codes.find(operation);
    return it == m_codes.end() ? 0 : it->second;
}
