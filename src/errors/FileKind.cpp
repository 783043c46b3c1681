// SPDX-License-Identifier: MIT
#include "errors/FileKind.h"

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
