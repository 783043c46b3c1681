// SPDX-License-Identifier: MIT
#include "commands/CommandText.h"

#include "config/Text.h"

#include <QString>

#include <algorithm>

namespace {
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
}

bool isWellFormedUtf8(std::string_view bytes, bool& multiByte)
{
    multiByte = false;
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char lead = byte(i);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t length = 0;
        // The range the second byte must fall in rules out overlong forms,
        // surrogates and code points past U+10FFFF.
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF)
            length = 2;
        else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else
            return false;
        if (i + length > bytes.size() || byte(i + 1) < low || byte(i + 1) > high)
            return false;
        for (size_t k = 2; k < length; ++k)
            if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
                return false;
        multiByte = true;
        i += length;
    }
    return true;
}

CommandText::CommandText(std::istream& in) : m_source(in.rdbuf())
{
    if (!m_source)
        return;
    // One byte past the bound tells a file of exactly MaxJudged bytes from a
    // longer one.
    while (m_head.size() <= MaxJudged) {
        const size_t want = std::min(sizeof m_buffer, MaxJudged + 1 - m_head.size());
        const std::streamsize got = m_source->sgetn(m_buffer, static_cast<std::streamsize>(want));
        if (got <= 0)
            break;
        m_head.append(m_buffer, static_cast<size_t>(got));
    }
    if (m_head.starts_with(ByteOrderMark)) {
        m_head.erase(0, ByteOrderMark.size());
        m_reading.markDropped = true;
    }
    if (m_head.size() > MaxJudged) {
        m_reading.tooLargeToJudge = true;
        return;
    }
    bool multiByte = false;
    if (!isWellFormedUtf8(m_head, multiByte) || !multiByte)
        return;
    const QString text = QString::fromUtf8(m_head.data(), static_cast<qsizetype>(m_head.size()));
    std::string converted = toCp1252(text);
    // A "?" more than the file held is a character with no windows-1252 form.
    m_reading.unmapped = static_cast<size_t>(std::count(converted.begin(), converted.end(), '?') -
                                             std::count(m_head.begin(), m_head.end(), '?'));
    m_reading.fromUtf8 = true;
    m_head = std::move(converted);
}

CommandText::int_type CommandText::underflow()
{
    if (gptr() < egptr())
        return traits_type::to_int_type(*gptr());
    if (!m_headGiven) {
        m_headGiven = true;
        if (!m_head.empty()) {
            setg(m_head.data(), m_head.data(), m_head.data() + m_head.size());
            return traits_type::to_int_type(*gptr());
        }
    }
    if (!m_source)
        return traits_type::eof();
    const std::streamsize got = m_source->sgetn(m_buffer, sizeof m_buffer);
    if (got <= 0)
        return traits_type::eof();
    setg(m_buffer, m_buffer, m_buffer + got);
    return traits_type::to_int_type(*gptr());
}
