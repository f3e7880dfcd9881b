#include "mainwindow.h"

#include "accessible.h"

#include <QAction>
#include <QCloseEvent>
#include <QInputMethodEvent>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>

#include <cstring>

namespace segni::ui {

namespace {

QCursor cursorFrom(const char *resource, QPoint hotSpot, Qt::CursorShape fallback)
{
    const QPixmap picture(QString::fromLatin1(resource));
    if (picture.isNull())
        return QCursor(fallback);
    return QCursor(picture, hotSpot.x(), hotSpot.y());
}

} // namespace

int typedCharacter(int key, Qt::KeyboardModifiers modifiers, const QString &text)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Only Enter itself (or with Shift) is Enter; held with Ctrl, Alt or
        // the logo key it types a line feed, which nothing accepts.
        if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            return 10;
        return 13;
    case Qt::Key_Backspace:
        return 8;
    default:
        break;
    }
    // Ctrl with a letter types its control character (Ctrl+C is 3), unless
    // Alt is held too (AltGr on some keyboards). Ctrl+H and Ctrl+M would
    // type the codes of Backspace and Enter, but only those keys may erase
    // or check: these two type NUL, which nothing accepts.
    if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier)
        && key >= Qt::Key_A && key <= Qt::Key_Z) {
        const int code = key - Qt::Key_A + 1;
        return code == 8 || code == 13 ? 0 : code;
    }
    // Tab moves the focus; it never types into the box.
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
        return -1;
    // Any key with printable text types it (letters of any script, emoji,
    // dead-key compositions); navigation and editing keys have none, or only
    // a control code (Escape, Delete), and keep their editing function.
    if (text.isEmpty())
        return -1;
    const QChar first = text.at(0);
    if (first.unicode() < 0x20 || first.unicode() == 0x7f)
        return -1;
    return first.unicode();
}

MainWindow::MainWindow(WindowEvents &events)
    : m_events(events)
{
    installFontSubstitutions();
    installAccessibility();
    setObjectName(QString::fromLatin1(kWindow.name));
    setWindowTitle(QString::fromUtf8(kWindow.title));
    setWindowIcon(QIcon(QString::fromLatin1(kWindow.icon)));
    setAccessibleDescription(QString::fromUtf8(kWindow.accessibleDescription));

    surface = new Surface(this);
    const QSize client(twipsToPixels(kWindow.clientWidth), twipsToPixels(kWindow.clientHeight));
    surface->setMinimumSize(client);
    surface->setCursor(cursorFrom(kWindow.cursor, kWindow.cursorHotSpot, Qt::PointingHandCursor));
    setCentralWidget(surface);
    buildMenu();

    // Created back to front, so each control lies in front of those made
    // before it; the text box and the buttons come last, in front of all.
    const QCursor iconPointer = cursorFrom(kIconPointer, kIconPointerHotSpot, Qt::CrossCursor);
    for (int depth = int(kLabels.size()) - 1; depth >= 0; --depth) {
        if (depth == kStopwatchDepth - 1) {
            Image1 = new QLabel(surface);
            Image1->setObjectName(QString::fromLatin1(kStopwatch.name));
            Image1->setGeometry(kStopwatch.rect.toPixels());
            Image1->setPixmap(
                QIcon(QString::fromLatin1(kStopwatch.picture)).pixmap(Image1->size(), 1.0));
            Image1->setToolTip(QString::fromUtf8(kStopwatch.tooltip));
        }
        const LabelDesign &design = kLabels[depth];
        auto *label = new Label(design, surface);
        if (design.pointer == Pointer::Icon)
            label->setCursor(iconPointer);
        m_labels.push_back(label);
    }
    txtAnswer = new AnswerBox(kAnswerBox, surface);
    txtAnswer->setCursor(Qt::IBeamCursor);
    txtAnswer->installEventFilter(this);
    for (const ButtonDesign &design : kButtons) {
        auto *button = new PictureButton(design, surface);
        button->setCursor(design.pointer == Pointer::Icon ? iconPointer : QCursor(Qt::ArrowCursor));
        (std::strcmp(design.name, "cmdNext") == 0 ? cmdNext : cmdExit) = button;
    }
    setTabOrder(cmdExit, cmdNext);
    setTabOrder(cmdNext, txtAnswer);
    connect(cmdNext, &QPushButton::clicked, this, [this] { m_events.cmdNext_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { m_events.cmdExit_Click(); });

    lblNum1 = label("lblNum1");
    lblNum2 = label("lblNum2");
    lblnum5 = label("lblnum5");
    lblMessage = label("lblMessage");
    lblconto = label("lblconto");
    lblScore = label("lblScore");
    lblScore1 = label("lblScore1");
    lblScore2 = label("lblScore2");
    lblpunti = label("lblpunti");
    lblnome = label("lblnome");
    lblnome1 = label("lblnome1");

    QList<QWidget *> spoken;
    for (const char *name : kReadingOrder)
        spoken.append(surface->findChild<QWidget *>(QString::fromLatin1(name)));
    surface->setSpokenControls(spoken);

    // The client area at its design size, below the menu bar; wider when the
    // desktop's text is so large that the menu bar needs more room to show
    // every entry.
    const QSize bar = menuBar()->sizeHint();
    resize(qMax(client.width(), bar.width()), client.height() + bar.height());
}

Label *MainWindow::label(const char *name) const
{
    const QString wanted = QString::fromLatin1(name);
    for (Label *label : m_labels) {
        if (label->objectName() == wanted)
            return label;
    }
    return nullptr;
}

void MainWindow::buildMenu()
{
    QMenuBar *bar = menuBar();
    // In the window's face, however the program's fonts were set up.
    const QFont face = windowFace();
    bar->setFont(face);
    std::vector<std::pair<QString, QMenu *>> menus;
    for (const MenuDesign &design : kMenu) {
        const QString name = QString::fromLatin1(design.name);
        const QString caption = QString::fromUtf8(design.caption);
        QMenu *parent = nullptr;
        if (design.parent) {
            for (auto &[menuName, menu] : menus) {
                if (menuName == QLatin1String(design.parent))
                    parent = menu;
            }
        }
        const bool opensSubmenu = std::any_of(kMenu.begin(), kMenu.end(), [&](const MenuDesign &s) {
            return s.parent && name == QLatin1String(s.parent);
        });
        QAction *action = nullptr;
        if (opensSubmenu) {
            QMenu *menu = bar->addMenu(caption);
            menu->setFont(face);
            menu->setObjectName(name);
            menu->menuAction()->setObjectName(name);
            menus.emplace_back(name, menu);
            continue;
        }
        action = parent ? parent->addAction(caption) : bar->addAction(caption);
        action->setObjectName(name);
        if (name == QLatin1String("Next"))
            Next = action;
        else if (name == QLatin1String("copy"))
            copy = action;
    }
    connect(Next, &QAction::triggered, this, [this] {
        // Chosen from the keyboard, the entry runs once the menu bar has
        // handed the keyboard back, so that after its box the keys go where
        // they went before (a box opened from inside the menu bar's own key
        // handling leaves the keyboard stuck on the bar).
        if (menuBar()->hasFocus())
            QMetaObject::invokeMethod(this, [this] { m_events.Next_Click(); }, Qt::QueuedConnection);
        else
            m_events.Next_Click();
    });
    // copy is the single member of its control array, with the index 3.
    connect(copy, &QAction::triggered, this, [this] { m_events.copy_Click(3); });
}

void MainWindow::focusFirstControl()
{
    for (QWidget *control : {static_cast<QWidget *>(cmdExit), static_cast<QWidget *>(cmdNext),
                             static_cast<QWidget *>(txtAnswer)}) {
        if (control->isEnabled()) {
            control->setFocus();
            return;
        }
    }
}

bool MainWindow::event(QEvent *event)
{
    const bool result = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate) {
        QWidget *before = focusWidget();
        m_events.Form_Activate();
        // The control the handler gave the focus keeps it. Qt for
        // WebAssembly hands the focus back to the control that had it before
        // the window came to the front once this event is over, which would
        // leave the pupil typing into a button.
        QPointer<QWidget> chosen = focusWidget();
        if (chosen && chosen != before) {
            QTimer::singleShot(0, this, [chosen] {
                if (chosen && chosen->isVisible() && chosen->isEnabled()
                    && chosen->isActiveWindow())
                    chosen->setFocus(Qt::ActiveWindowFocusReason);
            });
        }
    }
    return result;
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    m_events.Form_Resize();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_events.Form_QueryClose())
        event->accept();
    else
        event->ignore();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != txtAnswer)
        return QMainWindow::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        return answerKeyPress(static_cast<QKeyEvent *>(event));
    case QEvent::InputMethod:
        answerInputMethod(static_cast<QInputMethodEvent *>(event));
        return true;
    // The middle button's paste of the selection puts nothing in (and the
    // box takes no drops).
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton;
    default:
        return false;
    }
}

void MainWindow::answerInputMethod(QInputMethodEvent *event)
{
    // Text from an input method or an on-screen keyboard passes the key
    // filter one character at a time, and only what it accepts goes in. Its
    // composing text never shows, and it cannot replace what the box holds.
    QString accepted;
    for (const QChar c : event->commitString()) {
        // Control codes are keys (Enter, Backspace), never typed text.
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            continue;
        int code = c.unicode();
        m_events.txtAnswer_KeyPress(code);
        if (code != 0)
            accepted += QChar(code);
    }
    if (!accepted.isEmpty())
        txtAnswer->insert(accepted);
}

bool MainWindow::answerKeyPress(QKeyEvent *event)
{
    int code = typedCharacter(event->key(), event->modifiers(), event->text());
    if (code < 0)
        return false; // the box edits as usual
    // cmdNext is the window's default button: while it is enabled, Enter
    // presses it instead of reaching the answer box.
    if (code == 13 && cmdNext->isEnabled()) {
        cmdNext->click();
        return true;
    }
    QPointer<AnswerBox> box(txtAnswer);
    m_events.txtAnswer_KeyPress(code);
    // Enter has no further effect in a one-line box; a refused character
    // never reaches it.
    if (!box || code == 0 || code == 13)
        return true;
    return false;
}

} // namespace segni::ui
