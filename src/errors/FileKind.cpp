// SPDX-License-Identifier: MIT
#include "errors/FileKind.h"

#include "config/Text.h"

#include <QString>

#include <algorithm>

namespace {
constexpr size_t PrefixLength = 14;
}

bool isFiscalName(const std::string& name)
{
    return name.size() > PrefixLength && name.compare(PrefixLength, 3, "COR") == 0;
}

bool isDisplayName(const std::string& name)
{
    return name.find("display") != std::string::npos;
}

std::string fileReference(const std::string& name)
{
    return isFiscalName(name) ? name.substr(PrefixLength) : name;
}

Job jobNamed(const std::string& name)
{
    Job job;
    job.name = name;
    job.kind = isFiscalName(name) ? Job::Kind::Fiscal : Job::Kind::NotFiscal;
    return job;
}

std::string recordName(const std::string& name)
{
    std::string out = name;
    const bool ascii = std::all_of(out.begin(), out.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) {
        // Bytes that are no UTF-8 are taken as the windows-1252 they most
        // likely are (a file written on Windows) and kept as they stand.
        const QByteArray bytes = QByteArray::fromStdString(out);
        const QString decoded = QString::fromUtf8(bytes);
        if (decoded.toUtf8() == bytes)
            out = toCp1252(decoded);
    }
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '?';
    }
    return out;
}
