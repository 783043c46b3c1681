// SPDX-License-Identifier: MIT
#include "ui/MainWindow.h"

#include "bridge/Bridge.h"
#include "bridge/OperatorCommands.h"
#include "config/Text.h"
#include "core/SharedState.h"
#include "errors/ErrorHandler.h"
#include "ui/AboutBox.h"
#include "ui/ActiveWindow.h"
#include "ui/FolderCleanup.h"
#include "ui/ProgramIcon.h"
#include "ui/TrayIcon.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

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
    panel->setMinimumHeight(60);
    panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    return panel;
}

// Where `rect` goes to lie inside `area`, as far as it fits: moved no more
// than it must, its top left corner kept inside.
QPoint insideArea(const QRect& rect, const QRect& area)
{
    return {std::clamp(rect.left(), area.left(), std::max(area.left(), area.right() + 1 - rect.width())),
            std::clamp(rect.top(), area.top(), std::max(area.top(), area.bottom() + 1 - rect.height()))};
}

// The property that marks the recovery button matching the fault.
constexpr char MatchProperty[] = "consigliato";

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

    activeWindowIsFullscreen = [] { return ::activeWindowIsFullscreen(); };

    // The settings and the error panels scroll when the screen is short; the
    // status line and the buttons below them are always in sight.
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->setSpacing(4);
    auto* panels = new QWidget;
    auto* panelsLayout = new QVBoxLayout(panels);
    panelsLayout->setContentsMargins(0, 0, 0, 0);
    panelsLayout->addWidget(buildSettings());
    panelsLayout->addWidget(buildErrorPanel(), 1);
    m_scroll = new QScrollArea(central);
    m_scroll->setObjectName(QStringLiteral("pannelli"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(panels);
    m_scroll->setMinimumHeight(80);
    layout->addWidget(m_scroll, 1);
    layout->addWidget(buildStatusLine());
    layout->addWidget(buildButtons());
    setCentralWidget(central);
    buildMenu();
    setStyleSheet(QStringLiteral("QPushButton[%1=\"true\"] { font-weight: bold; border: 2px solid #b01010;"
                                 " border-radius: 3px; padding: 3px 8px; }")
                      .arg(QLatin1String(MatchProperty)));
    resize(PreferredWidth, PreferredHeight);

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
    // Two columns, so the panel takes three rows of a short screen; the
    // fields keep their order, left column first.
    auto* box = new QGroupBox(this);
    auto* columns = new QHBoxLayout(box);
    columns->setContentsMargins(6, 4, 6, 4);
    auto* form = new QFormLayout;
    auto* right = new QFormLayout;
    columns->addLayout(form, 1);
    columns->addLayout(right, 1);
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
    right->addRow(label(Field::NonRiscIndex), tender);

    right->addRow(label(Field::cartellaOstro), field(Field::cartellaOstro, "cartellaOstro"));

    m_payL = new QCheckBox(QString::fromLatin1(SettingsPanel::PayLCaption), box);
    m_payL->setObjectName(QStringLiteral("PAY_L"));
    connect(m_payL, &QCheckBox::clicked, this, [this](bool ticked) {
        if (!m_bridge)
            return;
        m_bridge->panel().setPayL(ticked);
        const QSignalBlocker block(m_payL);
        m_payL->setChecked(m_bridge->panel().payL());
    });
    right->addRow(QString::fromLatin1(SettingsPanel::PayLLabel), m_payL);
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
    layout->setSpacing(2);

    auto button = [this](QWidget* parent, const OperatorCommand& command) {
        auto* b = new QPushButton(text(command.caption), parent);
        b->setObjectName(text(command.objectName));
        // Enter presses the button that has the focus, as Space does.
        b->setAutoDefault(true);
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

QWidget* MainWindow::buildStatusLine()
{
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("RigaStato"));
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setFrameShape(QFrame::StyledPanel);
    m_status->setMargin(3);
    m_status->setFocusPolicy(Qt::NoFocus);
    m_status->setMinimumHeight(2 * m_status->fontMetrics().lineSpacing() + 8);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);
    return m_status;
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
    connect(temp, &QAction::triggered, this, &MainWindow::FileTemp);

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
    const StatusFacts now = facts();
    // The error's time: the first line of its text.
    const QString last = displayText(fromCp1252(m_bridge->state().lastErrorText));
    m_tray->showErrorState(now.standing, now.condition, last.section(QLatin1Char('\n'), 0, 0), statusText(now));
    showStatus();
}

StatusFacts MainWindow::facts() const
{
    StatusFacts now = m_facts;
    now.standing = m_bridge ? m_bridge->state().errorState : !(m_printerText.empty() && m_programText.empty());
    now.condition = conditionOf(fromCp1252(m_printerText), fromCp1252(m_programText));
    if (now.condition.isEmpty() && m_bridge)
        now.condition = conditionOf(QString(), fromCp1252(m_bridge->state().lastErrorText));
    return now;
}

void MainWindow::troubleBegins()
{
    if (!m_cleared)
        return;
    m_facts = StatusFacts{};
    m_cleared = false;
}

void MainWindow::showStatus()
{
    const StatusFacts now = facts();
    m_status->setText(statusText(now));
    m_status->setToolTip(now.discarded.join(QLatin1Char('\n')));
    const QString match = matchingButton(now);
    for (QPushButton* button : findChildren<QPushButton*>()) {
        const bool marked = !match.isEmpty() && button->objectName() == match;
        if (button->property(MatchProperty).toBool() == marked)
            continue;
        button->setProperty(MatchProperty, marked);
        button->style()->unpolish(button);
        button->style()->polish(button);
    }
}

QString MainWindow::statusLine() const
{
    return m_status->text();
}

QString MainWindow::markedButton() const
{
    for (QPushButton* button : findChildren<QPushButton*>())
        if (button->property(MatchProperty).toBool())
            return button->objectName();
    return {};
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

std::optional<StatusFacts::Document> MainWindow::jobDocument() const
{
    const Job* job = m_bridge ? m_bridge->errors().job() : nullptr;
    if (!job || job->name.empty())
        return std::nullopt;
    return job->fiscal() ? StatusFacts::Document::Fiscal : StatusFacts::Document::NonFiscal;
}

void MainWindow::setPrinterErrorText(const std::string& text)
{
    if (!text.empty()) {
        troubleBegins();
        // The file that failed tells which document the printer was on.
        if (const auto document = jobDocument())
            m_facts.document = *document;
    }
    m_printerText = text;
    m_msgErrori->setPlainText(displayText(fromCp1252(text)));
    showStatus();
}

std::string MainWindow::printerErrorText() const
{
    return m_printerText;
}

void MainWindow::setProgramErrorText(const std::string& text)
{
    if (!text.empty()) {
        troubleBegins();
        if (const auto document = jobDocument(); document && m_facts.document == StatusFacts::Document::Unknown)
            m_facts.document = *document;
    }
    m_programText = text;
    m_msgErroreNoPrinter->setPlainText(displayText(fromCp1252(text)));
    showStatus();
}

std::string MainWindow::programErrorText() const
{
    return m_programText;
}

void MainWindow::setTopmost(bool on)
{
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on)
        return;
    // Through the native window, which keeps it: QWidget::setWindowFlag
    // would destroy and re-create it, hiding the window and losing its place.
    overrideWindowFlags(windowFlags().setFlag(Qt::WindowStaysOnTopHint, on));
    if (QWindow* native = windowHandle())
        native->setFlag(Qt::WindowStaysOnTopHint, on);
}

void MainWindow::focusErrorPanel()
{
    QPlainTextEdit* panel = m_printerText.empty() && !m_programText.empty() ? m_msgErroreNoPrinter : m_msgErrori;
    panel->setFocus(Qt::OtherFocusReason);
    m_scroll->ensureWidgetVisible(panel, 0, 0);
}

void MainWindow::fitToScreen()
{
    QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!where)
        return;
    const QRect area = where->availableGeometry();
    if (isVisible()) {
        const QRect frame = frameGeometry(), inner = geometry();
        const QMargins seen(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                            frame.bottom() - inner.bottom());
        if (!seen.isNull())
            m_frame = seen;
    }
    const QSize room = area.size().shrunkBy(m_frame);
    const QSize inner = size().boundedTo(room).expandedTo(minimumSizeHint());
    if (inner != size())
        resize(inner);
    const QPoint at = frameGeometry().topLeft();
    const QPoint fitted = insideArea(QRect(at, inner.grownBy(m_frame)), area);
    if (fitted != at)
        move(fitted);
}

void MainWindow::showOnTop()
{
    if (m_exiting)
        return;
    refreshErrorState();
    m_minimizedForTray = false;
    fitToScreen();
    setTopmost(true);
    // The keyboard stays with the till: the window comes up without taking
    // it, and inside the window it waits on the error panel, which no key
    // can change, never on a field or a button.
    focusErrorPanel();
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    // Above a full-screen window only the active window is seen.
    if (activeWindowIsFullscreen && activeWindowIsFullscreen())
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
    troubleBegins();
    m_facts.discarded << fromCp1252(name);
    showStatus();
}

void MainWindow::documentVoided(const std::string& reason)
{
    troubleBegins();
    m_facts.voided << fromCp1252(reason);
    showStatus();
}

// The account stays on the line (the files thrown away are still to be sent
// again) until something new happens.
void MainWindow::errorCleared()
{
    // A NASCONDI with nothing wrong is no recovery to speak of.
    if (!m_cleared)
        m_facts.recovered = true;
    m_cleared = true;
    refreshErrorState();
}

void MainWindow::showFromTray()
{
    if (m_exiting)
        return;
    m_minimizedForTray = false;
    fitToScreen();
    // The operator asked for the window: it takes the keyboard.
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    if (QWindow* native = windowHandle())
        native->setProperty("_q_showWithoutActivating", QVariant());
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

void MainWindow::FileTemp()
{
    if (!m_bridge)
        return;
    if (!askOkCancel(FileTempTitle, FileTempQuestion))
        return;
    const CleanupResult result = deleteTemporaryFiles(m_bridge->state().programDir);
    // A folder a link stands in for is left as it is: on record, and told.
    std::string linked;
    for (const std::string& name : result.linked) {
        m_bridge->errors().logOnly(std::string(MsgCartellaCollegamento) + name + ": nessun file eliminato");
        linked += "\r\n" + std::string(MsgCartellaCollegamento) + name + ": nessun file eliminato";
    }
    if (result.failed == 0) {
        inform(FileTempDoneTitle, FileTempDone + linked);
        return;
    }
    // Missing or empty folders are no failure; files that stayed are, and
    // the operator must not be told they are gone.
    inform(FileTempDoneTitle, "Cancellazione non riuscita: " + std::to_string(result.failed) + " file non eliminati (" +
                                  std::to_string(result.deleted) + " eliminati)." + linked);
}

void MainWindow::about()
{
    if (!m_about) {
        // A window of its own that belongs to this one: it stays up while
        // the main window is in the tray, and opens over it on its screen.
        m_about = new AboutBox(this,
                               m_bridge ? QString::fromStdString(m_bridge->state().printerDescription) : QString());
        QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
        const QRect area = where ? where->availableGeometry() : QRect();
        const QRect over = isVisible() ? frameGeometry() : area;
        QRect box(QPoint(), m_about->size().grownBy(m_frame));
        box.moveCenter(over.center());
        if (area.isValid())
            box.moveTopLeft(insideArea(box, area));
        m_about->move(box.topLeft());
    }
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
    // The window manager's frame is known once it has framed the window.
    QTimer::singleShot(300, this, [this] {
        if (isVisible() && !m_exiting)
            fitToScreen();
    });
}
