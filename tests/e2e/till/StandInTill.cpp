// SPDX-License-Identifier: MIT
// A stand-in for the shop's till program in the window's end-to-end test:
// one window with one text field that holds the keyboard; every change of
// the field is written to a file, so the test can tell where the cashier's
// keys went.
//
// Usage: stand-in-till TITLE OUTPUT-FILE [--fullscreen]
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    const QString output = args.at(2);
    QWidget window;
    window.setWindowTitle(args.at(1));
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit(&window);
    layout->addWidget(field);
    QObject::connect(field, &QLineEdit::textChanged, [&output](const QString& text) {
        QFile file(output);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text.toUtf8());
    });
    window.resize(400, 120);
    if (args.contains(QStringLiteral("--fullscreen")))
        window.showFullScreen();
    else
        window.show();
    field->setFocus();
    return app.exec();
}
