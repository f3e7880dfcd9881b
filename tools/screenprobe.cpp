// Reads the question off the screen, as a pupil would: grabs the game
// window from the X server and finds, for each factor box, the value whose
// rendering matches what is shown there. Prints the three factors.
// With --save it writes the grabbed window to a PNG file instead.
// With --within, WINDOW-ID is a window that shows the game somewhere inside
// it, such as the X window of a nested Wayland compositor: the game's client
// area is found by its answer box.
//
// Usage: screenprobe WINDOW-ID
//        screenprobe --within WINDOW-ID
//        screenprobe WINDOW-ID --save FILE.png
// On Windows WINDOW-ID may also be the window's title.

#include "ui/mainwindow.h"

#include <QApplication>
#include <QMenuBar>
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

// Mean difference per pixel between a candidate rendering and what the
// screen shows, over the pixels no control in front of the box covers.
double difference(const QImage &candidate, const QImage &shown, const QList<QRect> &covered)
{
    if (candidate.size() != shown.size())
        return std::numeric_limits<double>::max();
    qint64 total = 0;
    qint64 counted = 0;
    for (int y = 0; y < candidate.height(); ++y) {
        for (int x = 0; x < candidate.width(); ++x) {
            if (std::any_of(covered.begin(), covered.end(),
                            [&](const QRect &r) { return r.contains(x, y); }))
                continue;
            const QRgb p = candidate.pixel(x, y), q = shown.pixel(x, y);
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

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool save = argc == 4 && QByteArray(argv[2]) == "--save";
    const bool within = argc == 3 && QByteArray(argv[1]) == "--within";
    if (argc != 2 && !save && !within) {
        std::fprintf(stderr, "usage: screenprobe [--within] WINDOW-ID [--save FILE.png]\n");
        return 2;
    }
    const QString id = QString::fromLocal8Bit(argv[within ? 2 : 1]);
    bool isNumber = false;
    WId window = WId(id.toULongLong(&isNumber));
#ifdef Q_OS_WIN
    if (!isNumber)
        window = reinterpret_cast<WId>(
            FindWindowW(nullptr, reinterpret_cast<const wchar_t *>(id.utf16())));
#endif
    if (!window) {
        std::fprintf(stderr, "screenprobe: no window %s\n", argv[1]);
        return 2;
    }
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(window).toImage();
    if (shot.isNull()) {
        std::fprintf(stderr, "screenprobe: cannot grab window %s\n", argv[1]);
        return 2;
    }
    if (save)
        return shot.save(QString::fromLocal8Bit(argv[3]), "PNG") ? 0 : 1;

    Silent events;
    segni::ui::MainWindow model(events);
    // Where the client area starts in the grab: below the menu bar, or,
    // within a larger window, where the answer box is found.
    QPoint origin(0, model.menuBar()->sizeHint().height());
    if (within) {
        const QImage face = model.txtAnswer->grab().toImage();
        // Its face without the sunken frame, less a little for a compositor's
        // rounding at the ends.
        const int length = face.width() - 6;
        const std::optional<QPoint> modelCorner = answerBoxCorner(face, length);
        const std::optional<QPoint> shownCorner = answerBoxCorner(shot, length);
        if (!modelCorner || !shownCorner) {
            std::fprintf(stderr, "screenprobe: no answer box in window %s\n", argv[2]);
            return 1;
        }
        origin = *shownCorner - *modelCorner - model.txtAnswer->pos();
    }
    QStringList factors;
    for (segni::ui::Label *box : {model.lblNum1, model.lblNum2, model.lblnum5}) {
        // The box takes the size of its caption.
        const auto differenceWith = [&](const QString &caption) {
            box->setCaption(caption);
            const QImage candidate = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
            const QImage shown = shot.copy(QRect(box->pos() + origin, box->size()))
                                     .convertToFormat(QImage::Format_RGB32);
            return difference(candidate, shown, coveredParts(box));
        };
        QString best;
        double bestDifference = std::numeric_limits<double>::max();
        for (int value = -10; value <= 10; ++value) {
            const double d = differenceWith(QString::number(value));
            if (d < bestDifference) {
                bestDifference = d;
                best = QString::number(value);
            }
        }
        // A factor is on show when its rendering matches the box far more
        // closely than the box left empty does (before the first question,
        // or while the window is still being drawn, none does).
        if (!(bestDifference * 4 < differenceWith(QString()))) {
            std::fprintf(stderr, "screenprobe: no factor on show in %s\n",
                         qPrintable(box->objectName()));
            return 1;
        }
        factors << best;
    }
    std::printf("%s\n", qPrintable(factors.join(QLatin1Char(' '))));
    return 0;
}
