// SPDX-License-Identifier: MIT
#include "simulator/SimCodes.h"

std::string simcode::text(int32_t code)
{
    if (code == StorageFailure)
        return "ERRORE MEMORIA STAMPANTE";
    return resultcode::text(code);
}
