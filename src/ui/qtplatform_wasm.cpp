// A web page (Qt for WebAssembly): the program never ends, the game is
// scaled to the browser's view, and the fonts travel with the page.

#include "qtplatform.h"

#include "layout.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <QtGui/private/qhighdpiscaling_p.h>
#include <QtGui/private/qwindow_p.h>
#include <qpa/qwindowsysteminterface.h>

#include <emscripten/val.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace segni {

namespace {

// What the page shows once a game has ended: a page cannot close itself,
// so it says that the game is over and offers another one.
class ClosingPage : public QWidget
{
public:
    ClosingPage()
    {
        setObjectName(QStringLiteral("closingPage"));
        setWindowTitle(applicationTitle());
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        // The text in the page's own colours; the button keeps the
        // platform's, as the boxes' buttons do.
        setAutoFillBackground(true);
        QPalette colours = palette();
        colours.setColor(QPalette::Window, ui::kClosingPage.background.toColor());
        colours.setColor(QPalette::WindowText, ui::kClosingPage.text.toColor());
        setPalette(colours);

        auto *text = new QLabel(QStringLiteral("Il gioco è finito."), this);
        text->setObjectName(QStringLiteral("closingText"));
        text->setFont(ui::makeFont(ui::kClosingPage.font));
        text->setAlignment(Qt::AlignCenter);
        m_again = new QPushButton(QStringLiteral("NUOVO GIOCO"), this);
        m_again->setObjectName(QStringLiteral("newGame"));
        // Said where the focus lands: why the button is there.
        m_again->setAccessibleDescription(text->text());
        m_again->setAutoDefault(true);

        auto *layout = new QVBoxLayout(this);
        layout->addStretch();
        layout->addWidget(text);
        layout->addSpacing(24);
        layout->addWidget(m_again, 0, Qt::AlignHCenter);
        layout->addStretch();

        connect(m_again, &QPushButton::clicked, this, [this] {
            hide();
            if (m_newGame)
                std::exchange(m_newGame, nullptr)();
        });
    }

    void showFor(std::function<void()> newGame)
    {
        m_newGame = std::move(newGame);
        showFullScreen();
        activateWindow();
        m_again->setFocus();
    }

private:
    QPushButton *m_again = nullptr;
    std::function<void()> m_newGame;
};

// What the page adds around the game window's client area at scale 1: its
// menu bar, drawn by Qt and so scaled, and the window's frame and title
// bar, drawn by the browser in its own pixels and never scaled.
constexpr double kMenuBarHeight = 23;
constexpr double kFrameWidth = 8;
constexpr double kFrameHeight = 30;

// The largest scale at which the whole game window fits a view of this size
// in the browser's pixels, in hundredths.
double fittingScale(double viewWidth, double viewHeight)
{
    const double width = ui::twipsToPixels(ui::kWindow.clientWidth);
    const double height = ui::twipsToPixels(ui::kWindow.clientHeight) + kMenuBarHeight;
    const double scale = std::min((viewWidth - kFrameWidth) / width,
                                  (viewHeight - kFrameHeight) / height);
    return std::max(0.1, std::floor(scale * 100) / 100);
}

// The scale stands on the page too, for whoever inspects it.
void showScale(double scale)
{
    emscripten::val::global("document")["documentElement"].call<void>(
        "setAttribute", std::string("data-scale"), std::to_string(scale));
}

double g_scale = 1;
bool g_rescaling = false;
// The view's size, in the browser's pixels, the windows were placed for.
QSize g_view;

// A window of this size (its client area, in the game's pixels) in the
// middle of the view, or the whole view when it fills it.
void place(QWidget *widget, QSize size)
{
    QWindow *window = widget->windowHandle();
    const QRect view = widget->screen()->availableGeometry();
    if (widget->isFullScreen()) {
        if (window)
            window->setGeometry(widget->screen()->geometry());
        return;
    }
    const QMargins frame = window && window->handle() ? window->frameMargins() : QMargins();
    const QSize outer = size.grownBy(frame);
    // Never above or left of the view: the title bar stays in reach.
    const QPoint corner(std::max(view.left(), view.center().x() - outer.width() / 2),
                        std::max(view.top(), view.center().y() - outer.height() / 2));
    const QRect client(corner + QPoint(frame.left(), frame.top()), size);
    if (window)
        window->setGeometry(client);
    else
        widget->setGeometry(client);
}

// Top-level windows go to the middle of the view as they show. The game
// window keeps its own size there, as on a desktop, rather than filling
// the view as a page's main window otherwise does.
class Centring : public QObject
{
protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::Show || !object->isWidgetType())
            return false;
        auto *widget = static_cast<QWidget *>(object);
        // Menus and tooltips open where they belong.
        if (widget->windowType() != Qt::Window && widget->windowType() != Qt::Dialog)
            return false;
        QSize size = widget->size();
        if (qobject_cast<QMainWindow *>(widget) && (widget->isFullScreen() || widget->isMaximized())) {
            size = widget->normalGeometry().isValid() ? widget->normalGeometry().size()
                                                      : widget->sizeHint();
            widget->setWindowState(Qt::WindowNoState);
        }
        place(widget, size);
        return false;
    }
};

// Where a pointer or a finger is, in the window it is on. Qt's page maps a
// point of the browser's view into a window as if the window's place in
// the view were not scaled, which puts the point off by the window's place
// times (1 - 1 / scale); the place in the view, which it maps right, gives
// the point in the window. Every press, move and release, and those made
// from a touch, come to the window as mouse events and are given again at
// the right point.
class PointerPlacing : public QObject
{
protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            break;
        default:
            return false;
        }
        if (!object->isWindowType())
            return false;
        auto *window = static_cast<QWindow *>(object);
        auto *mouse = static_cast<QMouseEvent *>(event);
        const QPointF place = window->mapFromGlobal(mouse->globalPosition());
        if ((place - mouse->position()).manhattanLength() < 0.5)
            return false;
        QMouseEvent placed(mouse->type(), place, place, mouse->globalPosition(), mouse->button(),
                           mouse->buttons(), mouse->modifiers(), mouse->pointingDevice());
        placed.setTimestamp(mouse->timestamp());
        QCoreApplication::sendEvent(window, &placed);
        event->setAccepted(placed.isAccepted());
        return true;
    }
};

// The view changed size: the scale that fits it now, applied to the windows
// that are open, each keeping its own size in the game's pixels, and each
// placed in the middle again. The changes of the windows' places the page
// has reported are taken first, at the scale they were made at, and those
// of the new places at once, at theirs. Nothing is done for a view of the
// size the windows were placed for.
void rescale(QScreen *screen)
{
    // A change that comes in meanwhile (Qt's own scale changes the screen's
    // size too) is taken once this one is done.
    if (g_rescaling) {
        QMetaObject::invokeMethod(screen, [screen] { rescale(screen); }, Qt::QueuedConnection);
        return;
    }
    const QScopedValueRollback<bool> rescaling(g_rescaling, true);
    QWindowSystemInterface::flushWindowSystemEvents(QEventLoop::ExcludeUserInputEvents);
    const QSize view = (QSizeF(screen->geometry().size()) * g_scale).toSize();
    if (view == g_view)
        return;
    g_view = view;
    QList<std::pair<QPointer<QWidget>, QSize>> open;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowHandle() && widget->windowHandle()->handle()
            && (widget->windowType() == Qt::Window || widget->windowType() == Qt::Dialog))
            open.append({widget, widget->size()});
    }
    double scale = fittingScale(view.width(), view.height());
    // The view is known here only to a pixel (Qt's screen size times its
    // scale, rounded): a scale a hundredth away is that rounding, not a
    // change of the view, and taking it would go back and forth.
    if (std::abs(scale - g_scale) < 0.015)
        scale = g_scale;
    if (scale != g_scale) {
        g_scale = scale;
        QHighDpiScaling::setGlobalFactor(scale);
        showScale(scale);
        // Each window takes the scale at once, before it is placed and drawn
        // again: drawn first, it would show the old scale until the next
        // change.
        for (const auto &[widget, size] : open) {
            if (widget)
                qt_window_private(widget->windowHandle())->updateDevicePixelRatio();
        }
    }
    for (const auto &[widget, size] : open) {
        if (widget) {
            place(widget, size);
            widget->update();
        }
    }
    QWindowSystemInterface::flushWindowSystemEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

void QtPlatform::endProgram(int, std::function<void()> newGame)
{
    for (QWidget *window : QApplication::topLevelWidgets())
        window->hide();
    static ClosingPage *page = new ClosingPage;
    page->showFor(std::move(newGame));
}

void QtPlatform::whenSessionEnds(std::function<bool(bool)>)
{
    // A page is not told when the browser's session ends.
}

void installBundledFonts()
{
    const QDir fonts(QStringLiteral(":/segni-fonts"));
    for (const QString &file : fonts.entryList(QDir::Files))
        QFontDatabase::addApplicationFont(fonts.filePath(file));
}

void chooseScale()
{
    // Qt takes its scale from the environment as it starts; the browser's
    // view is measured in its own pixels, before Qt has a screen.
    const emscripten::val view = emscripten::val::global("window");
    g_scale = fittingScale(view["innerWidth"].as<double>(), view["innerHeight"].as<double>());
    qputenv("QT_SCALE_FACTOR", QByteArray::number(g_scale));
    showScale(g_scale);
}

void followScreen()
{
    qApp->installEventFilter(new Centring);
    qApp->installEventFilter(new PointerPlacing);
    QScreen *screen = QGuiApplication::primaryScreen();
    QObject::connect(screen, &QScreen::geometryChanged, screen, [screen] { rescale(screen); });
}

} // namespace segni
