// SPDX-License-Identifier: MIT
#include "ui/WindowFixture.h"

#include "ui/AboutBox.h"

#include <QApplication>
#include <QLabel>

namespace {

QLabel* printerLabel()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("fAbout"))
            return w->findChild<QLabel*>(QStringLiteral("LabelStampante"));
    return nullptr;
}

using AboutPrinter = WindowFixture;

TEST_F(AboutPrinter, NamesThePrinterTheBridgeDrives)
{
    state.printerDescription = "stampante LAN http://192.168.1.50";
    trigger("About");
    QLabel* label = printerLabel();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Stampante: stampante LAN http://192.168.1.50"));
    label->window()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(AboutBoxAlone, HasNoPrinterLineWhenNoneIsGiven)
{
    AboutBox box;
    EXPECT_EQ(box.findChild<QLabel*>(QStringLiteral("LabelStampante")), nullptr);
}

} // namespace
