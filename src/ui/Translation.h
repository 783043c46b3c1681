// SPDX-License-Identifier: MIT
#pragma once

class QCoreApplication;
class QTranslator;

// Installs Qt's own Italian translation (qtbase_it, from Debian's
// qt6-translations-l10n) so the standard buttons and dialogs read Sì/No and
// OK/Annulla beside the Italian questions, whatever LANG says. False when
// the translation is not installed; the buttons then stay in English.
bool installItalianTranslation(QCoreApplication& app, QTranslator& translator);
