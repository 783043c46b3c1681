// SPDX-License-Identifier: MIT
#include "printer/SimFaults.h"

#include "config/IniFile.h"
#include "config/Text.h"

#include <QFile>

#include <charconv>
#include <sys/stat.h>

namespace {

constexpr const char* Section = "Guasti";

// The operations that answer with a code and so can be made to fail.
constexpr const char* CodedOperations[] = {
    "SellDept",       "SellDeptQty",     "ReturnDept",     "ReturnDeptQty", "ReturnDeptAmount",
    "AddDescription", "ExtraLine",       "Subtotal",       "SubtotalDiscount", "CancelReceipt",
    "PayCash",        "PayCheque",       "PayCard",        "PayTicket",     "PayTender",
    "OpenNonFiscal",  "NonFiscalLine",   "CloseNonFiscal", "DisplayText",   "OpenCmd",
    "AmountEntry",    "FiscalClosure",   "FiscalClosureAlt", "PaperEndRecovery",
};

// A time stamp this close to the reading time may be shared by a later write.
constexpr long long RacySeconds = 2;

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
    return exists == o.exists && size == o.size && inode == o.inode && mtime == o.mtime && ctime == o.ctime;
}

SimFaults::SimFaults(std::filesystem::path file) : m_file(std::move(file)) {}

void SimFaults::refresh()
{
    Signature now;
    struct stat st {};
    if (::stat(m_file.c_str(), &st) == 0) {
        now.exists = true;
        now.size = st.st_size;
        now.inode = static_cast<long long>(st.st_ino);
        now.mtime = st.st_mtim;
        now.ctime = st.st_ctim;
    }
    const bool changed = !(now == m_signature);
    if (!changed && !m_racy)
        return;

    std::string bytes;
    if (now.exists) {
        QFile f(QString::fromStdString(m_file.string()));
        if (f.open(QIODevice::ReadOnly))
            bytes = f.readAll().toStdString();
        timespec clock{};
        ::clock_gettime(CLOCK_REALTIME, &clock);
        m_racy = clock.tv_sec - now.mtime.tv_sec < RacySeconds;
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
    m_paperEnd = false;
    m_events = true;
    m_openPortFailure.reset();
    m_codes.clear();
    if (!m_signature.exists)
        return;

    auto read = [this](const char* key) { return LeggiINI(Section, key, "", m_file); };
    if (const auto n = wholeNumber(read("Occupato")); n && *n > 0)
        m_busyReads = *n;
    if (const auto n = toDouble(read("FineCarta")); n && *n != 0)
        m_paperEnd = true;
    if (const auto n = toDouble(read("Evento")); n && *n == 0)
        m_events = false;
    if (std::string text = read("OpenPort"); !text.empty())
        m_openPortFailure = std::move(text);
    for (const char* op : CodedOperations) {
        if (const auto code = toInt16(read(op)); code && *code != 0)
            m_codes.emplace(op, *code);
    }
}

bool SimFaults::takeBusyRead()
{
    if (m_busyReads <= 0)
        return false;
    --m_busyReads;
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
