// Reads the question off the screen, as a pupil would: grabs the game
// window from the X server and finds, for each factor box, the value whose
// rendering matches what is shown there. Prints the three factors.
// With --save it writes the grabbed window to a PNG file instead.
// With --image it reads a picture of the window (the web page's canvas)
// instead of grabbing one; with --read it prints which of the given
// captions a label of the window shows. With --locate it prints where a
// control or menu bar entry of the window is (its centre, in the window's
// own pixels), for a test to click or tap there.
//
// Usage: screenprobe WINDOW-ID
//        screenprobe WINDOW-ID --save FILE.png
//        screenprobe --image FILE.png
//        screenprobe --image FILE.png --read LABEL CAPTION...
//        screenprobe --locate NAME
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

} // namespace

// The caption among the candidates whose rendering in the box matches the
// shot best; empty when none could be compared.
QString bestCaption(segni::ui::Label *box, const QStringList &candidates, const QImage &shot,
                    int top)
{
    QString best;
    double bestDifference = std::numeric_limits<double>::max();
    for (const QString &caption : candidates) {
        box->setCaption(caption);
        const QImage candidate = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage shown = shot.copy(QRect(box->pos() + QPoint(0, top), box->size()))
                                 .convertToFormat(QImage::Format_RGB32);
        const double d = difference(candidate, shown, coveredParts(box));
        if (d < bestDifference) {
            bestDifference = d;
            best = caption;
        }
    }
    return best;
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
    const QStringList args = QCoreApplication::arguments().mid(1);
    const bool fromFile = args.size() >= 2 && args[0] == QLatin1String("--image");
    const bool save = args.size() == 3 && args[1] == QLatin1String("--save");
    const bool read = fromFile && args.size() >= 5 && args[2] == QLatin1String("--read");
    if (args.size() == 2 && args[0] == QLatin1String("--locate"))
        return locate(args[1]);
    if (!(args.size() == 1 || save || (fromFile && (args.size() == 2 || read)))) {
        std::fprintf(stderr, "usage: screenprobe WINDOW-ID [--save FILE.png]\n"
                             "       screenprobe --image FILE.png [--read LABEL CAPTION...]\n"
                             "       screenprobe --locate NAME\n");
        return 2;
    }
    QImage shot;
    if (fromFile) {
        g_inkOnly = true;
        shot = QImage(args[1]);
        if (shot.isNull()) {
            std::fprintf(stderr, "screenprobe: cannot read %s\n", qPrintable(args[1]));
            return 2;
        }
    } else {
        const QString id = args[0];
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
        shot = QGuiApplication::primaryScreen()->grabWindow(window).toImage();
        if (shot.isNull()) {
            std::fprintf(stderr, "screenprobe: cannot grab window %s\n", argv[1]);
            return 2;
        }
        if (save)
            return shot.save(QString::fromLocal8Bit(argv[3]), "PNG") ? 0 : 1;
    }

    Silent events;
    segni::ui::MainWindow model(events);
    const int top = model.menuBar()->sizeHint().height();
    if (read) {
        auto *box = model.findChild<segni::ui::Label *>(args[3]);
        if (!box) {
            std::fprintf(stderr, "screenprobe: no label %s\n", qPrintable(args[3]));
            return 2;
        }
        std::printf("%s\n", qPrintable(bestCaption(box, args.mid(4), shot, top)));
        return 0;
    }
    QStringList values;
    for (int value = -10; value <= 10; ++value)
        values << QString::number(value);
    QStringList factors;
    for (segni::ui::Label *box : {model.lblNum1, model.lblNum2, model.lblnum5}) {
        const QString best = bestCaption(box, values, shot, top);
        if (best.isEmpty()) {
            std::fprintf(stderr, "screenprobe: no factor found in %s\n",
                         qPrintable(box->objectName()));
            return 1;
        }
        factors << best;
    }
    std::printf("%s\n", qPrintable(factors.join(QLatin1Char(' '))));
    return 0;
}
