// Reads the question off the screen, as a pupil would: grabs the game
// window from the X server and finds, for each factor box, the value whose
// rendering matches what is shown there. Prints the three factors.
// With --save it writes the grabbed window to a PNG file instead.
// With --within, WINDOW-ID is a window that shows the game somewhere inside
// it, such as the X window of a nested Wayland compositor: the game's client
// area is found by its answer box. With --image it reads a picture of the
// window (a web page's canvas) instead of grabbing one. With --locate it
// prints where a control or menu bar entry of the window is (its centre, in
// the window's own pixels), for a test to tap there.
//
// Usage: screenprobe WINDOW-ID
//        screenprobe --within WINDOW-ID
//        screenprobe WINDOW-ID --save FILE.png
//        screenprobe --image FILE.png
//        screenprobe --locate NAME
// On Windows WINDOW-ID may also be the window's title.

#include "ui/layout.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>

namespace {

// A window built from the same description, never shown: it renders the
// candidates the way the game renders its factors.
class Silent : public segni::ui::WindowEvents
{
public:
    void Form_Activate() override {}
    void Form_Resize() override {}
    bool Form_QueryClose() override { return true; }
    void txtAnswer_KeyPress(int &) override {}
    void cmdNext_Click() override {}
    void cmdExit_Click() override {}
    void Next_Click() override {}
    void copy_Click(int) override {}
};

// A picture from elsewhere (a browser's canvas) is drawn by another build
// of the toolkit, whose glyph edges differ a little: it is compared as ink
// and paper only.
bool g_inkOnly = false;
bool g_shifting = false;

bool ink(QRgb p)
{
    return qRed(p) + qGreen(p) + qBlue(p) < 3 * 128;
}

// Mean difference per pixel between a candidate rendering and what the
// screen shows, over the pixels no control in front of the box covers.
double difference(const QImage &candidate, const QImage &shown, const QList<QRect> &covered,
                  QPoint shift = {});

// As ink and paper, the best over shifts of up to two pixels each way.
double inkDifference(const QImage &candidate, const QImage &shown, const QList<QRect> &covered)
{
    double best = std::numeric_limits<double>::max();
    for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx)
            best = std::min(best, difference(candidate, shown, covered, {dx, dy}));
    }
    return best;
}

double difference(const QImage &candidate, const QImage &shown, const QList<QRect> &covered,
                  QPoint shift)
{
    if (candidate.size() != shown.size())
        return std::numeric_limits<double>::max();
    if (g_inkOnly && shift.isNull() && covered.size() >= 0 && !g_shifting) {
        g_shifting = true;
        const double best = inkDifference(candidate, shown, covered);
        g_shifting = false;
        return best;
    }
    qint64 total = 0;
    qint64 counted = 0;
    for (int y = 0; y < candidate.height(); ++y) {
        for (int x = 0; x < candidate.width(); ++x) {
            if (std::any_of(covered.begin(), covered.end(),
                            [&](const QRect &r) { return r.contains(x, y); }))
                continue;
            const QPoint at = QPoint(x, y) + shift;
            if (!shown.rect().contains(at))
                continue;
            const QRgb p = candidate.pixel(x, y), q = shown.pixel(at);
            if (g_inkOnly)
                total += ink(p) != ink(q) ? 3 * 255 : 0;
            else
                total += qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q))
                    + qAbs(qBlue(p) - qBlue(q));
            ++counted;
        }
    }
    return counted ? double(total) / counted : std::numeric_limits<double>::max();
}

// The parts of the box that controls in front of it cover (the times signs
// and brackets stand over a wide factor), in the box's own coordinates.
QList<QRect> coveredParts(const QWidget *box)
{
    QList<QRect> parts;
    const QObjectList siblings = box->parentWidget()->children();
    for (qsizetype i = siblings.indexOf(const_cast<QWidget *>(box)) + 1; i < siblings.size(); ++i) {
        if (const auto *front = qobject_cast<const QWidget *>(siblings[i])) {
            const QRect overlap = front->geometry() & box->geometry();
            if (!overlap.isEmpty())
                parts.append(overlap.translated(-box->pos()));
        }
    }
    return parts;
}

// The answer box's face, as the game paints it and as a compositor may
// blend it (a few levels off).
bool answerBoxColour(QRgb p)
{
    return qRed(p) + (255 - qGreen(p)) + (255 - qBlue(p)) <= 24;
}

// The start of the topmost run of at least the given length of the answer
// box's colour. Nothing else of the game's window (factor boxes, the cyan
// button, the background) has a run that long.
std::optional<QPoint> answerBoxCorner(const QImage &image, int length)
{
    for (int y = 0; y < image.height(); ++y) {
        int run = 0;
        for (int x = 0; x < image.width(); ++x) {
            run = answerBoxColour(image.pixel(x, y)) ? run + 1 : 0;
            if (run >= length)
                return QPoint(x - run + 1, y);
        }
    }
    return std::nullopt;
}

} // namespace

// How far a caption's rendering in the box is from what the shot shows
// there, the window's client area starting at origin in the shot. With
// blank, the rendering's inside is painted over in the box's own colour:
// the box of that size with nothing in it.
double differenceFor(segni::ui::Label *box, const QString &caption, const QImage &shot,
                     QPoint origin, bool blank = false)
{
    box->setCaption(caption);
    QImage candidate = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (blank) {
        // Inside the two-pixel frame, where no glyph of a number reaches.
        const QRect inside = candidate.rect().adjusted(2, 2, -2, -2);
        QPainter(&candidate).fillRect(inside, QColor(candidate.pixel(inside.topLeft() + QPoint(1, 1))));
    }
    const QImage shown = shot.copy(QRect(box->pos() + origin, box->size()))
                             .convertToFormat(QImage::Format_RGB32);
    return difference(candidate, shown, coveredParts(box));
}

int locate(const QString &name)
{
    Silent events;
    segni::ui::MainWindow model(events);
    const int top = model.menuBar()->sizeHint().height();
    QPoint centre;
    if (auto *control = model.surface->findChild<QWidget *>(name)) {
        centre = control->geometry().center() + QPoint(0, top);
    } else if (auto *entry = model.findChild<QAction *>(name);
               entry && model.menuBar()->actions().contains(entry)) {
        model.menuBar()->resize(model.width(), top);
        centre = model.menuBar()->actionGeometry(entry).center();
    } else {
        std::fprintf(stderr, "screenprobe: no control %s\n", qPrintable(name));
        return 2;
    }
    std::printf("%d %d\n", centre.x(), centre.y());
    return 0;
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The faces the game draws in.
    segni::ui::installFonts();
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("--locate"))
        return locate(args[1]);
    const bool fromFile = args.size() == 2 && args[0] == QLatin1String("--image");
    const bool within = args.size() == 2 && args[0] == QLatin1String("--within");
    const bool save = args.size() == 3 && args[1] == QLatin1String("--save");
    if (!(args.size() == 1 || fromFile || within || save)) {
        std::fprintf(stderr, "usage: screenprobe [--within] WINDOW-ID [--save FILE.png]\n"
                             "       screenprobe --image FILE.png\n"
                             "       screenprobe --locate NAME\n");
        return 2;
    }
    const QString source = args[fromFile || within ? 1 : 0];
    QImage shot;
    if (fromFile) {
        g_inkOnly = true;
        shot = QImage(source);
    } else {
        bool isNumber = false;
        WId window = WId(source.toULongLong(&isNumber));
#ifdef Q_OS_WIN
        if (!isNumber)
            window = reinterpret_cast<WId>(
                FindWindowW(nullptr, reinterpret_cast<const wchar_t *>(source.utf16())));
#endif
        if (window)
            shot = QGuiApplication::primaryScreen()->grabWindow(window).toImage();
    }
    if (shot.isNull()) {
        std::fprintf(stderr, "screenprobe: cannot read or grab %s\n", qPrintable(source));
        return 2;
    }
    if (save)
        return shot.save(args[2], "PNG") ? 0 : 1;

    Silent events;
    segni::ui::MainWindow model(events);
    // Where the client area starts in the shot: found by the answer box,
    // which places the window's controls to the pixel (a menu bar a pixel
    // taller, a frame, a compositor's window around the game); else below
    // the menu bar.
    QPoint origin(0, model.menuBar()->sizeHint().height());
    const QImage face = model.txtAnswer->grab().toImage();
    // Its face without the sunken frame, less a little for a compositor's
    // rounding at the ends.
    const int length = face.width() - 6;
    const std::optional<QPoint> modelCorner = answerBoxCorner(face, length);
    const std::optional<QPoint> shownCorner = answerBoxCorner(shot, length);
    if (modelCorner && shownCorner) {
        origin = *shownCorner - *modelCorner - model.txtAnswer->pos();
    } else if (within) {
        std::fprintf(stderr, "screenprobe: no answer box in window %s\n", qPrintable(source));
        return 1;
    }
    QStringList factors;
    for (segni::ui::Label *box : {model.lblNum1, model.lblNum2, model.lblnum5}) {
        QString best;
        double bestDifference = std::numeric_limits<double>::max();
        for (int value = -10; value <= 10; ++value) {
            const double d = differenceFor(box, QString::number(value), shot, origin);
            if (d < bestDifference) {
                bestDifference = d;
                best = QString::number(value);
            }
        }
        // A factor is on show when its rendering matches the box far more
        // closely than the same box with nothing in it does (before the
        // first question, or while the window is still being drawn, none is).
        const double blankDifference = differenceFor(box, best, shot, origin, true);
        if (!(bestDifference * 4 < blankDifference)) {
            std::fprintf(stderr, "screenprobe: no factor on show in %s (%s differs by %.1f, an empty box by %.1f)\n",
                         qPrintable(box->objectName()), qPrintable(best), bestDifference,
                         blankDifference);
            return 1;
        }
        factors << best;
    }
    std::printf("%s\n", qPrintable(factors.join(QLatin1Char(' '))));
    return 0;
}
