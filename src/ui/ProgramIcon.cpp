// SPDX-License-Identifier: MIT
#include "ui/ProgramIcon.h"

#include <QPainter>
#include <QPixmap>

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

QIcon errorIcon()
{
    const QPixmap base = programIcon().pixmap(64, 64);
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawPixmap(0, 0, base);
    // The badge covers a third of the icon, so it still shows at 16 px.
    const QRectF badge(26, 26, 38, 38);
    painter.setPen(QPen(Qt::white, 3));
    painter.setBrush(QColor(0xd0, 0x20, 0x20));
    painter.drawEllipse(badge.adjusted(1.5, 1.5, -1.5, -1.5));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(41.5, 33, 7, 17), 2.5, 2.5);
    painter.drawEllipse(QRectF(41.5, 52, 7, 7));
    painter.end();
    return QIcon(pixmap);
}
