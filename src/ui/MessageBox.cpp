// SPDX-License-Identifier: MIT
#include "ui/MessageBox.h"

#include "core/OperatorWindow.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

QString displayText(const QString& text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

std::unique_ptr<QMessageBox> makeMessageBox(const MessageBoxRequest& request, QWidget* parent)
{
    auto box = std::make_unique<QMessageBox>(parent);
    box->setIcon(QMessageBox::NoIcon);
    box->setWindowTitle(request.title.isEmpty() ? QString::fromLatin1(ProgramTitle) : request.title);
    box->setTextFormat(Qt::PlainText);
    box->setText(displayText(request.text));
    switch (request.buttons) {
    case MessageBoxRequest::Buttons::Ok:
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
        break;
    case MessageBoxRequest::Buttons::OkCancel:
        box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box->setDefaultButton(QMessageBox::Cancel);
        box->setEscapeButton(QMessageBox::Cancel);
        break;
    case MessageBoxRequest::Buttons::YesNo:
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::No);
        box->setEscapeButton(QMessageBox::No);
        break;
    }
    // A short text makes a narrow box, and the window manager cuts its title
    // ("Te...iro"): the box is kept as wide as the title needs, with room
    // for the frame's buttons.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        const int width = QFontMetrics(box->font()).horizontalAdvance(box->windowTitle()) + TitleBarRoom;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    return box;
}
