// SPDX-License-Identifier: MIT
#include "ui/ProgramIcon.h"

// The resources live in a static library, whose registration the linker
// would drop unless something calls it.
static void initIconResource()
{
    Q_INIT_RESOURCE(tessiro);
}

QIcon programIcon()
{
    static const bool registered = (initIconResource(), true);
    (void)registered;
    return QIcon(QStringLiteral(":/tessiro.png"));
}
