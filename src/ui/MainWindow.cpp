// SPDX-License-Identifier: MIT
#include "ui/MainWindow.h"

#include "app/Bridge.h"
#include "app/OperatorCommands.h"
#include "config/Text.h"
#include "core/SharedState.h"
#include "ui/AboutBox.h"
#include "ui/FolderCleanup.h"
#include "ui/ProgramIcon.h"
#include "ui/TrayIcon.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

constexpr char FileTempTitle[] = "File Temporanei";
constexpr char FileTempQuestion[] =
    "File temporanei delle cartelle\r\n..\\Ostro\r\n..\\IN\r\n..\\Cestino\r\n..\\Log\r\nEliminarli?";
constexpr char FileTempDoneTitle[] = "Eliminazione File Temporanei";
constexpr char FileTempDone[] = "Cancellazione eseguita con successo.";

int index(SettingsPanel::Field field)
{
    return static_cast<int>(field);
}

// An error panel: read-only text that wraps inside the panel, breaking a
// word that does not fit anywhere, and scrolls when the text is long, so no
// printer text can make the window wider or taller than it was laid out.
QPlainTextEdit* errorPanel(const char* name, QWidget* parent)
{
    auto* panel = new QPlainTextEdit(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setReadOnly(true);
    panel->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    panel->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    panel->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    panel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    panel->setMinimumHeight(120);
    panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    return panel;
}

QString text(std::string_view ascii)
{
    return QString::fromLatin1(ascii.data(), static_cast<qsizetype>(ascii.size()));
}

// The commands the window shows in `place`, in the order of their rows and
// columns (the order the buttons are made in, and so the keyboard's).
std::vector<const OperatorCommand*> placedIn(WindowPlace place)
{
    std::vector<const OperatorCommand*> placed;
    for (const OperatorCommand& command : operatorCommands())
        if (command.place == place)
            placed.push_back(&command);
    std::stable_sort(placed.begin(), placed.end(), [](const OperatorCommand* a, const OperatorCommand* b) {
        return std::pair(a->row, a->column) < std::pair(b->row, b->column);
    });
    return placed;
}

// A command run from a button or a menu entry.
class WindowCaller : public CommandCaller {
public:
    explicit WindowCaller(MainWindow& window) : m_window(window) {}
    Kind kind() const override { return Kind::Window; }
    void takeStoredSettings() override { m_window.followSettingsFile(true); }
    void showErrorState() override { m_window.refreshErrorState(); }

private:
    MainWindow& m_window;
};

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Tessiro"));
    setWindowTitle(QStringLiteral("Tessiro FP Series ") + QStringLiteral(TESSIRO_VERSION));
    setWindowIcon(programIcon());

    m_tray = new TrayIcon(programIcon(), errorIcon(), this);
    m_tray->setTip(windowTitle());
    connect(m_tray, &TrayIcon::leftClicked, this, &MainWindow::showFromTray);
    connect(m_tray, &TrayIcon::hostAppeared, this, [this] {
        if (m_minimizedForTray && isMinimized())
            hide();
        m_minimizedForTray = false;
    });

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(buildSettings());
    layout->addWidget(buildErrorPanel(), 1);
    layout->addWidget(buildButtons());
    setCentralWidget(central);
    buildMenu();
    resize(560, 680);

    m_watch = new QTimer(this);
    m_watch->setInterval(SettingsLookInterval);
    connect(m_watch, &QTimer::timeout, this, [this] {
        followSettingsFile();
        refreshErrorState();
    });
    m_watch->start();
}

MainWindow::~MainWindow()
{
    if (m_about) {
        m_about->disconnect(this);
        delete m_about.data();
    }
}

QWidget* MainWindow::buildSettings()
{
    auto* box = new QGroupBox(this);
    auto* form = new QFormLayout(box);
    auto field = [&](Field f, const char* name) {
        auto* edit = new QLineEdit(box);
        edit->setObjectName(QLatin1String(name));
        m_fields[index(f)] = edit;
        // textEdited fires for the operator's changes only, never for the
        // window's own setText, so the model and the view cannot ping-pong.
        connect(edit, &QLineEdit::textEdited, this, [this, f](const QString& text) { fieldEdited(f, text); });
        return edit;
    };
    auto label = [](Field f) { return QString::fromLatin1(SettingsPanel::labelOf(f)); };
    form->addRow(label(Field::Seriale), field(Field::Seriale, "Seriale"));
    form->addRow(label(Field::Setting), field(Field::Setting, "Setting"));
    form->addRow(label(Field::Ritardo), field(Field::Ritardo, "Ritardo"));

    auto* tender = new QHBoxLayout;
    tender->addWidget(field(Field::NonRiscIndex, "NonRiscIndex"));
    QLineEdit* type = field(Field::NonRiscType, "NonRiscType");
    type->setToolTip(QString::fromLatin1(SettingsPanel::NonRiscTypeToolTip));
    tender->addWidget(type);
    form->addRow(label(Field::NonRiscIndex), tender);

    form->addRow(label(Field::cartellaOstro), field(Field::cartellaOstro, "cartellaOstro"));

    m_payL = new QCheckBox(QString::fromLatin1(SettingsPanel::PayLCaption), box);
    m_payL->setObjectName(QStringLiteral("PAY_L"));
    connect(m_payL, &QCheckBox::clicked, this, [this](bool ticked) {
        if (!m_bridge)
            return;
        m_bridge->panel().setPayL(ticked);
        const QSignalBlocker block(m_payL);
        m_payL->setChecked(m_bridge->panel().payL());
    });
    form->addRow(QString::fromLatin1(SettingsPanel::PayLLabel), m_payL);
    return box;
}

QWidget* MainWindow::buildErrorPanel()
{
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    m_msgErrori = errorPanel("MsgErrori", panel);
    QPalette red = m_msgErrori->palette();
    red.setColor(QPalette::Text, QColor(0xb0, 0x10, 0x10));
    m_msgErrori->setPalette(red);
    m_msgErroreNoPrinter = errorPanel("MsgErrore_NOPrinter", panel);
    layout->addWidget(m_msgErrori);
    layout->addWidget(m_msgErroreNoPrinter);
    return panel;
}

QWidget* MainWindow::buildButtons()
{
    auto* area = new QWidget(this);
    auto* layout = new QVBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);

    auto button = [this](QWidget* parent, const OperatorCommand& command) {
        auto* b = new QPushButton(text(command.caption), parent);
        b->setObjectName(text(command.objectName));
        connect(b, &QPushButton::clicked, this, [this, &command] { run(command); });
        return b;
    };

    // The two paper-end buttons share one caption; the headings tell them apart.
    auto* fiscal = new QGroupBox(QStringLiteral("Scontrino fiscale"), area);
    auto* fiscalGrid = new QGridLayout(fiscal);
    for (const OperatorCommand* command : placedIn(WindowPlace::FiscalReceipt))
        fiscalGrid->addWidget(button(fiscal, *command), command->row, command->column);
    layout->addWidget(fiscal);

    auto* nonFiscal = new QGroupBox(QStringLiteral("Scontrino non fiscale"), area);
    auto* nonFiscalRow = new QHBoxLayout(nonFiscal);
    for (const OperatorCommand* command : placedIn(WindowPlace::NonFiscalReceipt))
        nonFiscalRow->addWidget(button(nonFiscal, *command));
    layout->addWidget(nonFiscal);

    auto* row = new QHBoxLayout;
    bool right = false;
    for (const OperatorCommand* command : placedIn(WindowPlace::ButtonRow)) {
        if (command->column > 0 && !right) {
            row->addStretch();
            right = true;
        }
        row->addWidget(button(area, *command));
    }
    layout->addLayout(row);
    return area;
}

void MainWindow::buildMenu()
{
    QAction* esciAction = menuBar()->addAction(QStringLiteral("Esci"));
    esciAction->setObjectName(QStringLiteral("Esci"));
    connect(esciAction, &QAction::triggered, this, &MainWindow::esci);

    QMenu* strumenti = menuBar()->addMenu(QStringLiteral("Strumenti"));
    strumenti->setObjectName(QStringLiteral("Strumenti"));
    for (const OperatorCommand* command : placedIn(WindowPlace::ToolsMenu)) {
        QAction* entry = strumenti->addAction(text(command->caption));
        entry->setObjectName(text(command->objectName));
        connect(entry, &QAction::triggered, this, [this, command] { run(*command); });
    }
    // The window's own tool: it empties folders, it commands no bridge.
    QAction* temp = strumenti->addAction(QStringLiteral("File Temporanei"));
    temp->setObjectName(QStringLiteral("FileTemp"));
    connect(temp, &QAction::triggered, this, &MainWindow::fileTemporanei);

    QAction* aboutAction = menuBar()->addAction(QStringLiteral("About"));
    aboutAction->setObjectName(QStringLiteral("About"));
    connect(aboutAction, &QAction::triggered, this, &MainWindow::about);
}

void MainWindow::run(const OperatorCommand& command)
{
    if (!m_bridge)
        return;
    WindowCaller caller(*this);
    CommandCall call{*m_bridge, caller, false, {}};
    command.run(call);
}

void MainWindow::attach(Bridge& bridge)
{
    m_bridge = &bridge;
    bridge.setPanelOnScreen(true);
    bridge.panel().onTextChanged = [this](Field field) { showField(field); };
    bridge.panel().onPayLChanged = [this] {
        const QSignalBlocker block(m_payL);
        m_payL->setChecked(m_bridge->panel().payL());
    };
    showSettings();
}

void MainWindow::showSettings()
{
    if (!m_bridge)
        return;
    for (int i = 0; i < SettingsPanel::FieldCount; ++i)
        showField(static_cast<Field>(i));
    const QSignalBlocker block(m_payL);
    m_payL->setChecked(m_bridge->panel().payL());
}

void MainWindow::followSettingsFile(bool force)
{
    if (!m_bridge || m_exiting)
        return;
    const std::filesystem::path config = m_bridge->state().configFile();
    struct stat st {};
    std::string stamp;
    if (::stat(config.c_str(), &st) == 0)
        stamp = std::to_string(st.st_ino) + ':' + std::to_string(st.st_size) + ':' + std::to_string(st.st_mtim.tv_sec) +
                '.' + std::to_string(st.st_mtim.tv_nsec) + ':' + std::to_string(st.st_ctim.tv_sec) + '.' +
                std::to_string(st.st_ctim.tv_nsec);
    if (!force && stamp == m_settingsStamp)
        return;
    m_settingsStamp = stamp;
    // The field with the keyboard focus is the one being typed into; its
    // keystrokes are saved as they come and it must not jump under them.
    m_bridge->panel().followFile([this](Field field) { return m_fields[index(field)]->hasFocus(); });
}

void MainWindow::refreshErrorState()
{
    if (!m_bridge || m_exiting)
        return;
    const SharedState& state = m_bridge->state();
    m_tray->showErrorState(state.errorState, displayText(fromCp1252(state.lastErrorText)));
}

void MainWindow::fieldEdited(Field field, const QString& text)
{
    if (!m_bridge)
        return;
    m_bridge->panel().setText(field, toCp1252(text));
    showField(field);
}

void MainWindow::showField(Field field)
{
    if (!m_bridge)
        return;
    QLineEdit* edit = m_fields[index(field)];
    const QString text = fromCp1252(m_bridge->panel().text(field));
    const QString shown = edit->text();
    if (shown == text)
        return;
    const int cursor = edit->cursorPosition();
    const QSignalBlocker block(edit);
    edit->setText(text);
    // A separator appended to what the operator typed keeps the cursor where
    // the typing goes on; a restored value is a new text, cursor at its end.
    edit->setCursorPosition(text.startsWith(shown) ? std::min(cursor, int(shown.size())) : int(text.size()));
}

void MainWindow::setPrinterErrorText(const std::string& text)
{
    m_printerText = text;
    m_msgErrori->setPlainText(displayText(fromCp1252(text)));
}

std::string MainWindow::printerErrorText() const
{
    return m_printerText;
}

void MainWindow::setProgramErrorText(const std::string& text)
{
    m_programText = text;
    m_msgErroreNoPrinter->setPlainText(displayText(fromCp1252(text)));
}

std::string MainWindow::programErrorText() const
{
    return m_programText;
}

void MainWindow::setTopmost(bool on)
{
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) == on)
        return;
    // Changing the flags hides a shown window; show it again.
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (wasVisible)
        show();
}

void MainWindow::showOnTop()
{
    if (m_exiting)
        return;
    refreshErrorState();
    m_minimizedForTray = false;
    setTopmost(true);
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::makeTopmost()
{
    if (m_exiting)
        return;
    setTopmost(true);
    if (isVisible())
        raise();
}

void MainWindow::fileDiscarded(const std::string& name)
{
    m_discarded.push_back(name);
}

void MainWindow::documentVoided(const std::string& reason)
{
    m_lastVoid = reason;
}

void MainWindow::errorCleared()
{
    m_discarded.clear();
    m_lastVoid.clear();
    refreshErrorState();
}

void MainWindow::showFromTray()
{
    if (m_exiting)
        return;
    m_minimizedForTray = false;
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::hideToTray()
{
    if (m_exiting)
        return;
    refreshErrorState();
    hide();
    setTopmost(false);
    m_tray->MettiInTray();
    if (m_tray->isShown()) {
        m_minimizedForTray = false;
        return;
    }
    // Hidden with no icon to click, the window would be lost for good.
    m_minimizedForTray = true;
    showMinimized();
}

bool MainWindow::ask(MessageBoxRequest::Buttons buttons, const std::string& title, const std::string& text)
{
    const MessageBoxRequest request{buttons, fromCp1252(title), fromCp1252(text)};
    if (answerBox)
        return answerBox(request);
    // A hidden parent would place the box off where the operator looks.
    std::unique_ptr<QMessageBox> box = makeMessageBox(request, isVisible() ? this : nullptr);
    const int answer = box->exec();
    return answer == QMessageBox::Ok || answer == QMessageBox::Yes;
}

void MainWindow::inform(const std::string& title, const std::string& text)
{
    ask(MessageBoxRequest::Buttons::Ok, title, text);
}

bool MainWindow::askOkCancel(const std::string& title, const std::string& text)
{
    return ask(MessageBoxRequest::Buttons::OkCancel, title, text);
}

bool MainWindow::askYesNo(const std::string& title, const std::string& text)
{
    return ask(MessageBoxRequest::Buttons::YesNo, title, text);
}

void MainWindow::esci()
{
    // On No the bridge has already hidden the window to the tray.
    if (!m_bridge || !m_bridge->Esci())
        return;
    m_exiting = true;
    m_watch->stop();
    emit exitConfirmed();
    m_tray->TogliDaTray();
    hide();
    // An open About box must not keep a bridge alive that takes no files.
    if (m_about) {
        m_about->disconnect(this);
        m_about->close();
        m_about->deleteLater();
    }
    emit exitRequested();
}

void MainWindow::fileTemporanei()
{
    if (!m_bridge)
        return;
    if (!askOkCancel(FileTempTitle, FileTempQuestion))
        return;
    const CleanupResult result = deleteTemporaryFiles(m_bridge->state().programDir);
    if (result.failed == 0) {
        inform(FileTempDoneTitle, FileTempDone);
        return;
    }
    // Missing or empty folders are no failure; files that stayed are, and
    // the operator must not be told they are gone.
    inform(FileTempDoneTitle, "Cancellazione non riuscita: " + std::to_string(result.failed) + " file non eliminati (" +
                                  std::to_string(result.deleted) + " eliminati).");
}

void MainWindow::about()
{
    if (!m_about)
        // A window of its own: it stays up while the main window is in the tray.
        m_about = new AboutBox(nullptr,
                               m_bridge ? QString::fromStdString(m_bridge->state().printerDescription) : QString());
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The title bar's close button hides to the tray; the program ends only
    // through Esci. A close the program asks for (quitting) goes through.
    if (event->spontaneous() && !m_exiting) {
        event->ignore();
        hideToTray();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event)
{
    followSettingsFile(true);
    showSettings();
    QMainWindow::showEvent(event);
}
