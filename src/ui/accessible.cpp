#include "accessible.h"

#include "widgets.h"

#include <QAccessibleWidget>

namespace segni::ui {

namespace {

// The client area: its children are the spoken controls, in reading order,
// whatever order the controls are stacked in.
class SurfaceAccessible : public QAccessibleWidget
{
public:
    explicit SurfaceAccessible(Surface *surface)
        : QAccessibleWidget(surface, QAccessible::Client)
    {
    }

    int childCount() const override { return int(controls().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QList<QWidget *> list = controls();
        if (index < 0 || index >= list.size())
            return nullptr;
        return QAccessible::queryAccessibleInterface(list.at(index));
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child ? int(controls().indexOf(qobject_cast<QWidget *>(child->object()))) : -1;
    }

private:
    QList<QWidget *> controls() const
    {
        // Nothing while the surface is being taken down.
        const auto *surface = qobject_cast<const Surface *>(object());
        return surface ? surface->spokenControls() : QList<QWidget *>();
    }
};

// A label whose caption changes too often to announce: its name stays put
// and its caption is its text, read whenever the screen reader asks.
class OnDemandLabelAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit OnDemandLabelAccessible(Label *label)
        : QAccessibleWidget(label, QAccessible::StaticText)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    using QAccessibleWidget::text;
    QString text(int startOffset, int endOffset) const override
    {
        const QString all = shown();
        if (endOffset < 0 || endOffset > all.size())
            endOffset = int(all.size());
        startOffset = qBound(0, startOffset, endOffset);
        return all.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(shown().size()); }
    void selection(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int *startOffset, int *endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return QString();
    }

private:
    QString shown() const
    {
        const auto *label = qobject_cast<const QLabel *>(object());
        return label ? label->text() : QString();
    }
};

QAccessibleInterface *interfaceFor(const QString &, QObject *object)
{
    if (auto *surface = qobject_cast<Surface *>(object))
        return new SurfaceAccessible(surface);
    if (auto *label = qobject_cast<Label *>(object); label && label->readOnDemand())
        return new OnDemandLabelAccessible(label);
    return nullptr;
}

} // namespace

void installAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(interfaceFor);
        return true;
    }();
    (void)installed;
}

} // namespace segni::ui
