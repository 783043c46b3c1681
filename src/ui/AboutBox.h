// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

// fAbout: what the program is, its version and the back-office release it
// works with. A window of its own, not modal; it deletes itself when closed.
class AboutBox : public QWidget {
    Q_OBJECT
public:
    // `printer`: which printer the bridge drives, shown as a line of its own
    // ("Stampante: ..."); none when empty.
    explicit AboutBox(QWidget* parent = nullptr, const QString& printer = QString());

    // Tahoma where the font exists, else the system's sans-serif face.
    static QFont labelFont();
};
