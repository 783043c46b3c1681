// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <istream>
#include <streambuf>
#include <string>
#include <string_view>

// How a command file's bytes were taken.
struct TextReading {
    // A UTF-8 byte order mark opened the file; it was dropped.
    bool markDropped = false;
    // The file is well-formed UTF-8 holding at least one multi-byte
    // character: it was turned into windows-1252, the printer's character set.
    bool fromUtf8 = false;
    // Of those, the characters windows-1252 has no form for; each became "?".
    size_t unmapped = 0;
    // Larger than CommandText::MaxJudged: taken as windows-1252 unjudged.
    bool tooLargeToJudge = false;
};

// True when `bytes` is well-formed UTF-8 (no overlong form, no surrogate,
// nothing past U+10FFFF); `multiByte` then tells whether a character of two
// or more bytes is among them.
bool isWellFormedUtf8(std::string_view bytes, bool& multiByte);

// The bytes of a command file as the records are read from them: in
// windows-1252, whatever the back-office saved. Files are windows-1252
// unless they are well-formed UTF-8 with a multi-byte character (ASCII reads
// the same either way, and windows-1252 text is almost never well-formed
// UTF-8); a leading UTF-8 byte order mark is dropped in every case. The
// file's first MaxJudged bytes are held to judge it; a longer file is
// passed on as it is, so memory stays bounded whatever the folder holds.
class CommandText : public std::streambuf {
public:
    static constexpr size_t MaxJudged = 4 * 1024 * 1024;

    explicit CommandText(std::istream& in);
    const TextReading& reading() const { return m_reading; }

protected:
    int_type underflow() override;

private:
    std::streambuf* m_source;
    std::string m_head;
    bool m_headGiven = false;
    TextReading m_reading;
    char m_buffer[16 * 1024];
};
