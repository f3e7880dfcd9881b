#include "qtplatform.h"

#include "layout.h"
#include "records/savetransaction.h"

#include <QApplication>
#include <QDate>
#include <QFontInfo>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QProxyStyle>
#include <QScreen>
#include <QSpacerItem>
#include <QStyleOptionMenuItem>
#include <QTime>
#include <QtMath>
#include <QTimer>
#include <QTranslator>

#include <memory>
#include <utility>

namespace segni {

QString applicationTitle()
{
    return QStringLiteral("segni");
}

namespace {

class PlainButtonsStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    // The menu bar entry reached with Alt and the arrow keys is highlighted
    // like an open one, so a pupil without a mouse sees where they are.
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
        if (element == CE_MenuBarItem && item && (item->state & State_Selected)) {
            QStyleOptionMenuItem selected = *item;
            selected.state |= State_Sunken;
            QProxyStyle::drawControl(element, &selected, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

class QtTicker : public Ticker
{
public:
    explicit QtTicker(std::function<void()> onTick)
    {
        m_timer.setInterval(ui::kTimerIntervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [onTick = std::move(onTick)] { onTick(); });
        m_timer.start();
    }
    void setEnabled(bool enabled) override
    {
        if (enabled && !m_timer.isActive())
            m_timer.start();
        else if (!enabled)
            m_timer.stop();
    }
    bool isEnabled() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

// Asks, for a moment, that the window get the keyboard, until it has it or
// another box takes over. A single request can be lost on a display without
// a window manager: the server drops it when the window is not mapped yet,
// or when a box closing at the same moment sends the focus elsewhere.
void askForKeyboard(QWidget *window)
{
    auto *retry = new QTimer(window);
    retry->setInterval(50);
    auto tries = std::make_shared<int>(0);
    QObject::connect(retry, &QTimer::timeout, window, [window, retry, tries] {
        QWidget *modal = QApplication::activeModalWidget();
        const bool done = !window->isVisible() || window->isActiveWindow()
            || (modal && modal != window) || ++*tries > 40;
        if (done) {
            retry->deleteLater();
            return;
        }
        window->raise();
        window->activateWindow();
    });
    retry->start();
    window->raise();
    window->activateWindow();
}

// Without a window manager a new window gets the keyboard only when asked
// for it, so every box asks as soon as it is shown.
void activateWhenShown(QDialog &dialog)
{
    QPointer<QDialog> guard(&dialog);
    QTimer::singleShot(0, &dialog, [guard] {
        if (guard)
            askForKeyboard(guard);
    });
}

// Likewise, when a box closes the keyboard goes back to the window under it
// only when asked to.
void giveBackKeyboard(QWidget *parent)
{
    if (parent && parent->isVisible())
        askForKeyboard(parent);
}

// A window's frame draws its title on one line in the title bar and cuts
// what does not fit. Qt's own frame under Wayland draws it at 14 pixels,
// centred, with 77 pixels of buttons and edge on its right; window managers
// under X11 draw it in a bold face of about that size, centred or after the
// window's icon, between up to four buttons. So every box is at least as
// wide as its title in the box's face at no less than 14 pixels, with room
// for the buttons on either side, which also takes the wider bold face. The
// advance is scaled from the face the box already uses: measuring another
// size or a bold face would load it before the first window shows.
constexpr qreal kTitleMinimumPixels = 14;
constexpr int kTitleBarButtonsRoom = 80;

int titleBarWidth(const QWidget &box)
{
    const qreal scale = qMax(1.0, kTitleMinimumPixels / QFontInfo(box.font()).pixelSize());
    return qCeil(box.fontMetrics().horizontalAdvance(box.windowTitle()) * scale)
        + 2 * kTitleBarButtonsRoom;
}

// Boxes size themselves to their layout, so the width goes in as an empty
// row of the layout. The message box rebuilds its layout when its icon is
// set, so this comes after every setting; the input box builds its own when
// first asked for its size.
void fitTitle(QDialog &box)
{
    static_cast<void>(box.minimumSizeHint());
    QLayout *layout = box.layout();
    if (!layout)
        return;
    const QMargins margins = layout->contentsMargins();
    const int width = qMin(titleBarWidth(box), box.screen()->availableGeometry().width())
        - margins.left() - margins.right();
    auto *room = new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum);
    if (auto *grid = qobject_cast<QGridLayout *>(layout))
        grid->addItem(room, grid->rowCount(), 0, 1, grid->columnCount());
    else
        layout->addItem(room);
}

// Makes a box wide enough for its title, and has it ask for the keyboard
// once it shows.
void prepareBox(QDialog &box)
{
    fitTitle(box);
    activateWhenShown(box);
}

// The text box has the keyboard when its box comes up. Qt for WebAssembly
// gives it to the box's OK button instead, where typed letters are lost
// and Enter answers with no name; the first focus the box gets goes to the
// text box.
void keepFocusOnTextBox(QInputDialog &box)
{
    auto *edit = box.findChild<QLineEdit *>();
    if (!edit)
        return;
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = QObject::connect(qApp, &QApplication::focusChanged, &box,
                             [&box, edit, once](QWidget *, QWidget *now) {
                                 if (!now || now->window() != &box)
                                     return;
                                 QObject::disconnect(*once);
                                 if (now != edit)
                                     edit->setFocus(Qt::ActiveWindowFocusReason);
                             });
}

} // namespace

QtPlatform::~QtPlatform()
{
    closeBoxes();
}

void QtPlatform::openBox(QDialog *box, QWidget *parent, Reading read)
{
    prepareBox(*box);
    m_openBoxes.append(box);
    QObject::connect(box, &QDialog::finished, box,
                     [this, box, parent = QPointer<QWidget>(parent),
                      read = std::move(read)](int result) {
                         // Whoever waits goes on from the event loop, once the
                         // box has gone; and the box goes before the window
                         // under it asks for the keyboard back (a box that has
                         // just closed can still be the application's focus
                         // window for a moment, and Qt's Wayland plugin
                         // follows that window when asked; Qt 6.4 crashes on
                         // it). Until then the box stays on the list of open
                         // boxes: closed meanwhile (the game ended), it never
                         // answers.
                         QMetaObject::invokeMethod(
                             qApp,
                             [this, box = QPointer<QDialog>(box), parent, read, result] {
                                 if (!box)
                                     return;
                                 m_openBoxes.removeAll(box);
                                 const std::function<void()> answer = read(*box, result);
                                 delete box.data();
                                 giveBackKeyboard(parent);
                                 answer();
                             },
                             Qt::QueuedConnection);
                         box->disconnect(box, &QDialog::finished, nullptr, nullptr);
                     });
    box->open();
}

void QtPlatform::messageBox(QWidget *parent, const MessageRequest &request,
                            std::function<void(BoxAnswer)> answered)
{
    parent = parent && parent->isVisible() ? parent : nullptr;
    auto *box = new QMessageBox(parent);
    box->setWindowTitle(request.title.isEmpty() ? applicationTitle() : request.title);
    box->setTextFormat(Qt::PlainText);
    box->setText(request.text);
    switch (request.icon) {
    case BoxIcon::None:
        box->setIcon(QMessageBox::NoIcon);
        break;
    case BoxIcon::Exclamation:
        box->setIcon(QMessageBox::Warning);
        break;
    case BoxIcon::Question:
        box->setIcon(QMessageBox::Question);
        break;
    }
    const bool yesNo = request.buttons == BoxButtons::YesNo;
    if (yesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(request.defaultAnswer == BoxAnswer::Yes ? QMessageBox::Yes
                                                                      : QMessageBox::No);
        box->setEscapeButton(QMessageBox::No);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
    }
    openBox(box, parent,
            [yesNo, answered = std::move(answered)](QDialog &dialog, int) -> std::function<void()> {
                auto &message = static_cast<QMessageBox &>(dialog);
                const bool yes =
                    message.standardButton(message.clickedButton()) == QMessageBox::Yes;
                const BoxAnswer answer = !yesNo ? BoxAnswer::Ok
                    : yes                       ? BoxAnswer::Yes
                                                : BoxAnswer::No;
                return [answered, answer] { answered(answer); };
            });
}

void QtPlatform::inputBox(QWidget *parent, const QString &prompt, const QString &title,
                          std::function<void(QString)> answered)
{
    parent = parent && parent->isVisible() ? parent : nullptr;
    auto *dialog = new QInputDialog(parent);
    dialog->setInputMode(QInputDialog::TextInput);
    dialog->setWindowTitle(title);
    dialog->setLabelText(prompt);
    dialog->setTextValue(QString());
    keepFocusOnTextBox(*dialog);
    openBox(dialog, parent,
            [answered = std::move(answered)](QDialog &box, int result) -> std::function<void()> {
                const QString text = result == QDialog::Accepted
                    ? static_cast<QInputDialog &>(box).textValue()
                    : QString();
                return [answered, text] { answered(text); };
            });
}

void QtPlatform::closeBoxes()
{
    for (const QPointer<QDialog> &box : std::exchange(m_openBoxes, {})) {
        if (!box)
            continue;
        box->disconnect(box, &QDialog::finished, nullptr, nullptr);
        delete box.data();
    }
}

std::unique_ptr<Ticker> QtPlatform::createTicker(std::function<void()> onTick)
{
    return std::make_unique<QtTicker>(std::move(onTick));
}

void QtPlatform::after(int ms, std::function<void()> done)
{
    QTimer::singleShot(ms, qApp, std::move(done));
}

qint64 QtPlatform::steadyMs()
{
    return records::steadyMs();
}

int QtPlatform::secondsSinceMidnight()
{
    return QTime::currentTime().msecsSinceStartOfDay() / 1000;
}

QString QtPlatform::shortDate()
{
    const QLocale locale = QLocale::system();
    const QDate today = QDate::currentDate();
    // A system with no regional settings of its own (the C or POSIX
    // locale) gets the Italian form.
    if (locale.language() == QLocale::C)
        return today.toString(QStringLiteral("dd/MM/yyyy"));
    return locale.toString(today, QLocale::ShortFormat);
}

Random &QtPlatform::random()
{
    return m_random;
}

Task<records::RecordPlace> QtPlatform::recordPlace()
{
    return records::locateRecordPlace();
}

void installItalianTranslation()
{
    auto *translator = new QTranslator(qApp);
    if (translator->load(QLocale(QLocale::Italian), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || translator->load(QStringLiteral(":/i18n/qtbase_it.qm")))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

void installStyle()
{
    QApplication::setStyle(new PlainButtonsStyle);
}

} // namespace segni
