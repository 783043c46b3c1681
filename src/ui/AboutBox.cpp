// SPDX-License-Identifier: MIT
#include "ui/AboutBox.h"

#include "ui/ProgramIcon.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* addLabel(QWidget* owner, QVBoxLayout* layout, const char* name, const QString& text)
{
    auto* label = new QLabel(text, owner);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setFont(AboutBox::labelFont());
    layout->addWidget(label);
    return label;
}

} // namespace

QFont AboutBox::labelFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    return font;
}

AboutBox::AboutBox(QWidget* parent, const QString& printer) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("fAbout"));
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::NonModal);

    auto* outer = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(programIcon().pixmap(64, 64));
    image->setAlignment(Qt::AlignTop);
    top->addWidget(image);

    auto* texts = new QVBoxLayout;
    QLabel* title = addLabel(this, texts, "Label7", QStringLiteral("Software di comunicazione con Epson FP Series"));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    addLabel(this, texts, "Label1", QStringLiteral("Versione 1.6.1 del 13 dicembre 2010"));
    texts->addSpacing(8);
    addLabel(this, texts, "Label2", QStringLiteral("Progetto Tessiro"));
    addLabel(this, texts, "Label3", QStringLiteral("Via del Telaio 7"));
    addLabel(this, texts, "Label4", QStringLiteral("59100 Prato (PO)"));
    addLabel(this, texts, "Label5", QStringLiteral("supporto@tessiro.example"));
    texts->addSpacing(8);
    addLabel(this, texts, "Label6", QStringLiteral("Utilizzabile con Ostro release 2.10.49"));
    if (!printer.isEmpty())
        addLabel(this, texts, "LabelStampante", QStringLiteral("Stampante: ") + printer);
    top->addLayout(texts);
    outer->addLayout(top);

    auto* chiudi = new QPushButton(QStringLiteral("Chiudi"), this);
    chiudi->setObjectName(QStringLiteral("cmdChiudi"));
    chiudi->setFont(labelFont());
    connect(chiudi, &QPushButton::clicked, this, &QWidget::close);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(chiudi);
    outer->addLayout(bottom);
    setFixedSize(sizeHint());
}
