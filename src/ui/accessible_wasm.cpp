// What a web page gives the browser's screen reader: what Qt's bridge gives
// Orca on a desktop, from the same accessible interfaces, in the page's own
// elements (web/index.html). Qt for WebAssembly's own bridge is left off:
// it waits for a button labelled in English, names no text field, has no
// live region, and writes names as HTML.
//
// - What the pupil should hear at once goes, as text only, to a polite live
//   region: each box as it opens (its title and text), and where the focus
//   lands (the name prompt, the answer box with its question, the
//   new-question button with the verdict and the counts).
// - The focused element of the page (the text input that Qt for
//   WebAssembly keeps the keyboard in) carries the same words, so the
//   pupil can have them read again, and says in Italian what the control
//   is (a button, a menu entry) where it is no text field.
// - The game window's controls stand in reading order in a list that is
//   brought up to date every second and on every change, outside the live
//   region: the clock says the time left when read, and never interrupts.

#include "qtplatform.h"

#include <QAccessible>
#include <QApplication>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <emscripten.h>

EM_JS_DEPS(segni_reader, "$UTF8ToString");

// Qt's own bridge adds a button to every window; it stays, hidden (Qt takes
// it away again itself).
EM_JS(void, segniReaderHideQtButton, (), {
    const host = document.querySelector("#qt-shadow-container");
    if (!host || !host.shadowRoot)
        return;
    const style = document.createElement("style");
    style.textContent = ".qt-window-a11y-container > button.hidden-visually-read-by-screen-reader"
        + " { display: none !important; }";
    host.shadowRoot.appendChild(style);
});

// A line for the live region, which keeps the last few.
EM_JS(void, segniReaderSay, (const char *text), {
    const log = document.getElementById("segni-annunci");
    if (!log)
        return;
    const line = document.createElement("p");
    line.textContent = UTF8ToString(text);
    log.appendChild(line);
    while (log.childElementCount > 5)
        log.firstElementChild.remove();
});

// The words of the focused control, on the element that has the keyboard:
// a text input, which says what the control is when it is no text field.
EM_JS(void, segniReaderFocus, (const char *name, const char *description, const char *kind), {
    const input = document.querySelector("body > input");
    if (!input)
        return;
    input.setAttribute("aria-label", UTF8ToString(name));
    const words = {"aria-description": UTF8ToString(description),
                   "aria-roledescription": UTF8ToString(kind)};
    for (const [attribute, value] of Object.entries(words)) {
        if (value)
            input.setAttribute(attribute, value);
        else
            input.removeAttribute(attribute);
    }
});

// The game window's controls, one a line, in the list; only what changed
// is written.
EM_JS(void, segniReaderList, (const char *lines), {
    const list = document.getElementById("segni-tavola");
    if (!list)
        return;
    const wanted = UTF8ToString(lines).split("\n").filter(line => line);
    while (list.childElementCount > wanted.length)
        list.lastElementChild.remove();
    wanted.forEach((text, i) => {
        let item = list.children[i];
        if (!item)
            item = list.appendChild(document.createElement("li"));
        if (item.textContent !== text)
            item.textContent = text;
    });
});

namespace segni {

namespace {

// What is to be said once the focus has settled: the boxes that opened,
// and where the focus is then (a box first gives the focus to its button,
// then to its text field; a window coming to the front has it handed back
// to the control that had it, then the game moves it on).
struct Pending
{
    QStringList opened;
    bool focused = false;
    // The menu bar and the menus tell the focus on an entry, which is no
    // widget: the focus widget stays the bar while a menu is open.
    QAccessible::Id entry = 0;
    bool scheduled = false;
};

Pending &pending()
{
    static Pending words;
    return words;
}

// What a control is, said where it is no text field.
const char *kindOf(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::Button:
        return "pulsante";
    case QAccessible::MenuItem:
        return "voce di menu";
    case QAccessible::MenuBar:
        return "barra dei menu";
    case QAccessible::PopupMenu:
        return "menu";
    default:
        return "";
    }
}

QString joined(const QString &first, const QString &then)
{
    if (first.isEmpty())
        return then;
    return then.isEmpty() ? first : first + QStringLiteral(". ") + then;
}

// The game window's client area: its accessible children are the spoken
// controls in reading order.
QWidget *gameSurface()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *window = qobject_cast<QMainWindow *>(widget);
        if (window && window->isVisible() && window->centralWidget())
            return window->centralWidget();
    }
    return nullptr;
}

void refreshList()
{
    QStringList lines;
    if (QWidget *surface = gameSurface()) {
        QAccessibleInterface *area = QAccessible::queryAccessibleInterface(surface);
        for (int i = 0; area && i < area->childCount(); ++i) {
            QAccessibleInterface *control = area->child(i);
            if (!control || !control->isValid())
                continue;
            QString line = control->text(QAccessible::Name);
            if (QAccessibleTextInterface *text = control->textInterface();
                text && control->role() == QAccessible::StaticText)
                line += QStringLiteral(": ") + text->text(0, text->characterCount());
            lines << joined(line, control->text(QAccessible::Description));
        }
    }
    segniReaderList(lines.join(QLatin1Char('\n')).toUtf8().constData());
}

void flush()
{
    Pending words = std::exchange(pending(), {});
    for (const QString &box : std::as_const(words.opened))
        segniReaderSay(box.toUtf8().constData());
    QAccessibleInterface *control = words.entry ? QAccessible::accessibleInterface(words.entry)
                                                : nullptr;
    if (words.focused && !control && QApplication::focusWidget())
        control = QAccessible::queryAccessibleInterface(QApplication::focusWidget());
    if (words.focused && control && control->isValid()) {
        const QString name = control->text(QAccessible::Name);
        const QString description = control->text(QAccessible::Description);
        segniReaderFocus(name.toUtf8().constData(), description.toUtf8().constData(),
                         kindOf(control->role()));
        segniReaderSay(joined(name, description).toUtf8().constData());
    }
    refreshList();
}

// Long enough for the focus handed back and moved on (MainWindow::event),
// too short to hear.
constexpr int kSettling = 50;

void later()
{
    if (std::exchange(pending().scheduled, true))
        return;
    QTimer::singleShot(kSettling, qApp, flush);
}

// Read at once, while the control is there.
void heard(QAccessibleEvent *event)
{
    QAccessibleInterface *control = event->accessibleInterface();
    if (!control || !control->isValid())
        return;
    switch (event->type()) {
    case QAccessible::DialogStart:
        // A message box's title and text; the name prompt's title.
        pending().opened << joined(control->text(QAccessible::Name),
                                   control->text(QAccessible::Value));
        later();
        break;
    case QAccessible::Focus:
        pending().focused = true;
        pending().entry = event->child() >= 0 ? QAccessible::uniqueId(control) : 0;
        later();
        break;
    case QAccessible::NameChanged:
    case QAccessible::DescriptionChanged:
    case QAccessible::ObjectShow:
        later();
        break;
    default:
        break;
    }
}

} // namespace

void followScreenReader()
{
    QAccessible::installUpdateHandler(heard);
    // Menus and the menu bar say where the keys are only to a screen reader
    // that Qt believes listens.
    if (QPlatformIntegration *integration = QGuiApplicationPrivate::platformIntegration()) {
        if (QPlatformAccessibility *accessibility = integration->accessibility())
            accessibility->setActive(true);
    }
    segniReaderHideQtButton();
    // The clock, and any change an event did not tell, are read each second.
    auto *reading = new QTimer(qApp);
    QObject::connect(reading, &QTimer::timeout, reading, refreshList);
    reading->start(1000);
}

} // namespace segni
