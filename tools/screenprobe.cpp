// Reads the question off the screen, as a pupil would: grabs the game
// window from the X server and finds, for each factor box, the value whose
// rendering matches what is shown there. Prints the three factors.
// With --save it writes the grabbed window to a PNG file instead.
// With --within, WINDOW-ID is a window that shows the game somewhere inside
// it, such as the X window of a nested Wayland compositor: the game's client
// area is found by its answer box. With --image it reads a picture of the
// window (a web page's canvas) instead of grabbing one. With --locate it
// prints where a control or menu bar entry of the window is (its centre, in
// the window's own pixels), for a test to tap there. With --closing it reads
// TEXT off a picture of the web page's closing page, in the colours and face
// the page is designed with, and finds the button below it; it prints where
// the button is, for a test to tap there. With --box it reads TEXT off a
// picture of a box: the text its first line ends with; it prints where the
// controls below the text are: "field X Y" for a text field, "button X Y"
// for each button, left to right. With --scale the picture shows the window
// SCALE times its own size (a web page scaled to the browser's view): the
// game window is compared with its model drawn at that scale, texts are
// drawn at that scale to be compared, and positions are in the picture's
// own pixels.
//
// Usage: screenprobe WINDOW-ID
//        screenprobe --within WINDOW-ID
//        screenprobe WINDOW-ID --save FILE.png
//        screenprobe --image FILE.png
//        screenprobe --locate NAME
//        screenprobe --closing FILE.png TEXT
//        screenprobe --box FILE.png TEXT
//        screenprobe --scale SCALE --image|--closing|--box ...
// On Windows WINDOW-ID may also be the window's title.

#include "ui/layout.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QHash>
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
// How many of the picture's pixels make one of the window's (--scale). The
// window the game window's picture is compared with is drawn at the same
// scale, as the page draws it.
double g_scale = 1;

QPoint scaled(QPoint p)
{
    return p * g_scale;
}

QRect scaled(const QRect &r)
{
    return QRect(scaled(r.topLeft()), r.size() * g_scale);
}

// A control's picture at the shot's scale. Qt draws the model at a scale of
// 1 or more itself; below 1 it would draw the text no smaller, so the
// control is drawn at 1 and brought down.
QImage grabbed(QWidget *control, const QRect &part = QRect(QPoint(0, 0), QSize(-1, -1)))
{
    QImage image = control->grab(part).toImage().convertToFormat(QImage::Format_RGB32);
    if (image.devicePixelRatio() == 1 && g_scale != 1)
        image = image.scaled(image.size() * g_scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image.setDevicePixelRatio(1);
    return image;
}

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

// A pixel a pupil tells apart from a colour next to it.
bool standsOut(QRgb p, QRgb from)
{
    return qAbs(qRed(p) - qRed(from)) + qAbs(qGreen(p) - qGreen(from))
        + qAbs(qBlue(p) - qBlue(from))
        >= 192;
}

// A colour as designed, give or take a browser's rounding.
bool closeTo(QRgb p, const segni::ui::Rgb &designed)
{
    return qAbs(qRed(p) - designed.red) + qAbs(qGreen(p) - designed.green)
        + qAbs(qBlue(p) - designed.blue)
        <= 24;
}

// The colour most pixels of the part have, of those that stand out from
// the colour given (any pixel, without one).
std::optional<QRgb> commonest(const QImage &image, const QRect &part,
                              std::optional<QRgb> from = std::nullopt)
{
    QHash<QRgb, int> counts;
    for (int y = part.top(); y <= part.bottom(); ++y) {
        for (int x = part.left(); x <= part.right(); ++x) {
            const QRgb p = image.pixel(x, y) | 0xff000000;
            if (!from || standsOut(p, *from))
                ++counts[p];
        }
    }
    std::optional<QRgb> most;
    for (auto i = counts.cbegin(); i != counts.cend(); ++i) {
        if (!most || i.value() > counts.value(*most))
            most = i.key();
    }
    return most;
}

// A band of rows that shows something on the picture's background: where
// it is, the colour most of it has (the background, or a button's face),
// and the colour of the marks that stand out from that (its text).
struct Line
{
    QRect bounds;
    QRgb fill;
    std::optional<QRgb> ink;
};

QList<Line> linesOf(const QImage &image, QRgb background)
{
    QList<Line> lines;
    QRect bounds;
    for (int y = 0; y <= image.height(); ++y) {
        int left = image.width(), right = -1;
        for (int x = 0; y < image.height() && x < image.width(); ++x) {
            if (standsOut(image.pixel(x, y), background)) {
                left = std::min(left, x);
                right = x;
            }
        }
        if (right >= 0) {
            bounds |= QRect(left, y, right - left + 1, 1);
        } else if (!bounds.isNull()) {
            const QRgb fill = *commonest(image, bounds);
            lines.append({bounds, fill, commonest(image, bounds, fill)});
            bounds = QRect();
        }
    }
    return lines;
}

QString describe(const QList<Line> &lines)
{
    QStringList shown;
    for (const Line &line : lines) {
        const QRect &r = line.bounds;
        shown << QStringLiteral("%1x%2 at %3,%4 of %5 marked %6")
                     .arg(r.width()).arg(r.height()).arg(r.left()).arg(r.top())
                     .arg(QColor(line.fill).name(),
                          line.ink ? QColor(*line.ink).name() : QStringLiteral("nothing"));
    }
    return shown.isEmpty() ? QStringLiteral("nothing") : shown.join(QStringLiteral("; "));
}

// How much ink two pictures of a text do not share, as the most any stretch
// of the text as wide as it is tall has: a pixel of ink counts as shared
// when the other picture has ink within a pixel of it, and each stretch is
// matched where it fits best, two pixels either way, so glyphs drawn half
// a pixel apart, or by another build of the toolkit, still match, while a
// letter or an accent of its own is a stretch's worth of ink unmatched.
// The part of the first picture is compared with the second's at place.
int unmatchedInk(const QImage &first, const QRect &part, const QImage &second, QPoint place,
                 QRgb background)
{
    const auto inkAt = [background](const QImage &image, QPoint p) {
        return image.rect().contains(p) && standsOut(image.pixel(p), background);
    };
    const auto inkNear = [&inkAt](const QImage &image, QPoint p) {
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                if (inkAt(image, p + QPoint(dx, dy)))
                    return true;
            }
        }
        return false;
    };
    const int stretch = part.height();
    int most = 0;
    for (int left = part.left() - 2; left <= part.right() + 2; left += stretch / 2) {
        int fewest = std::numeric_limits<int>::max();
        for (int dy = -2; dy <= 2; ++dy) {
            for (int dx = -2; dx <= 2; ++dx) {
                const QPoint shift = place - part.topLeft() + QPoint(dx, dy);
                int unmatched = 0;
                for (int y = part.top() - 2; y <= part.bottom() + 2; ++y) {
                    for (int x = left; x < left + stretch; ++x) {
                        const QPoint p(x, y);
                        if (inkAt(first, p) && !inkNear(second, p + shift))
                            ++unmatched;
                        if (inkAt(second, p + shift) && !inkNear(first, p))
                            ++unmatched;
                    }
                }
                fewest = std::min(fewest, unmatched);
            }
        }
        most = std::max(most, fewest);
    }
    return most;
}

// At most this many pixels of ink in any stretch of a text may differ
// from its drawing. The page draws its texts exactly as the probe does;
// a letter or an accent changed is some five pixels or more.
constexpr int kUnmatchedInk = 2;

// A text as the toolkit draws it, and where its ink is.
struct Drawing
{
    QImage picture;
    QRect ink;
};

Drawing draw(const QString &text, const QFont &font, QRgb ink, QRgb paper)
{
    const QFontMetrics metrics(font);
    // At the picture's scale, as the page draws it.
    const QRect area(0, 0, metrics.horizontalAdvance(text) + 20, metrics.height() + 20);
    QImage picture(area.size() * g_scale, QImage::Format_RGB32);
    picture.setDevicePixelRatio(g_scale);
    picture.fill(paper);
    {
        QPainter painter(&picture);
        painter.setFont(font);
        painter.setPen(QColor(ink));
        painter.drawText(area, Qt::AlignCenter, text);
    }
    return {picture, linesOf(picture, paper).value(0).bounds};
}

// The text that ends a line of the shot, compared with a drawing of it:
// where it is, and how far it is from the drawing (see unmatchedInk).
struct Reading
{
    QRect shown;
    int unmatched;
};

// Nothing when the ink that ends the line is not the drawing's size.
std::optional<Reading> readLineEnd(const QImage &shot, const Line &line, QRgb background,
                                   const Drawing &drawing)
{
    const int left = line.bounds.right() - drawing.ink.width() + 1;
    QRect shown;
    for (int y = line.bounds.top(); y <= line.bounds.bottom(); ++y) {
        for (int x = std::max(left - 2, 0); x <= line.bounds.right(); ++x) {
            if (standsOut(shot.pixel(x, y), background))
                shown |= QRect(x, y, 1, 1);
        }
    }
    const QSize off = shown.size() - drawing.ink.size();
    if (drawing.ink.isEmpty() || qAbs(off.width()) > 2 || qAbs(off.height()) > 2)
        return std::nullopt;
    return Reading{shown, unmatchedInk(drawing.picture, drawing.ink, shot, shown.topLeft(),
                                       background)};
}

// Reads the text off a picture of the closing page: the page in its
// designed background, the text on it in its designed colour and face,
// centred, and a button below it that has a caption of its own colour.
// Prints the button's centre.
int readClosingPage(const QImage &shot, const QString &text)
{
    const segni::ui::ClosingPageDesign &design = segni::ui::kClosingPage;
    const QRgb background = *commonest(shot, shot.rect());
    const QList<Line> lines = linesOf(shot, background);
    std::fprintf(stderr, "screenprobe: the page is %s and shows %s\n",
                 qPrintable(QColor(background).name()), qPrintable(describe(lines)));
    if (!closeTo(background, design.background) || lines.size() != 2 || !lines[0].ink
        || !closeTo(*lines[0].ink, design.text)) {
        std::fprintf(stderr, "screenprobe: no line in %s on %s above a button\n",
                     qPrintable(design.text.toColor().name()),
                     qPrintable(design.background.toColor().name()));
        return 1;
    }
    const QRect &shown = lines[0].bounds;
    if (qAbs(shown.left() + shown.right() + 1 - shot.width()) > 4) {
        std::fprintf(stderr, "screenprobe: the text is not centred\n");
        return 1;
    }
    const std::optional<Reading> read = readLineEnd(
        shot, lines[0], background,
        draw(text, segni::ui::makeFont(design.font), design.text.toColor().rgb(), background));
    if (!read || read->unmatched > kUnmatchedInk) {
        std::fprintf(stderr, "screenprobe: the text is not %s (%s)\n", qPrintable(text),
                     read ? qPrintable(QStringLiteral("%1 pixels of ink unmatched")
                                           .arg(read->unmatched))
                          : "not its size");
        return 1;
    }
    std::fprintf(stderr, "screenprobe: read %s, %d pixels of its ink unmatched\n",
                 qPrintable(text), read->unmatched);
    const Line &button = lines[1];
    if (button.fill == background || !button.ink) {
        std::fprintf(stderr, "screenprobe: no button with a caption below the text\n");
        return 1;
    }
    std::printf("%d %d\n", button.bounds.center().x(), button.bounds.center().y());
    return 0;
}

// Reads the text off a picture of a box: the box's first line ends with it,
// in the window's face at whatever size the box's platform gives it, in ink
// that stands out from the box.
int readBox(const QImage &shot, const QString &text)
{
    const QRgb background = *commonest(shot, shot.rect());
    const QList<Line> lines = linesOf(shot, background);
    std::fprintf(stderr, "screenprobe: the box is %s and shows %s\n",
                 qPrintable(QColor(background).name()), qPrintable(describe(lines)));
    // Drawn in whichever of black and white stands out from the box: only
    // the ink's shape is compared.
    const QRgb ink = qGray(background) < 128 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    std::optional<Reading> best;
    for (int pixels = 8; !lines.isEmpty() && pixels <= 40; ++pixels) {
        QFont font = segni::ui::windowFace();
        font.setPixelSize(pixels);
        const std::optional<Reading> read =
            readLineEnd(shot, lines[0], background, draw(text, font, ink, background));
        if (read && (!best || read->unmatched < best->unmatched))
            best = read;
    }
    if (!best || best->unmatched > kUnmatchedInk) {
        std::fprintf(stderr, "screenprobe: the box's first line is not %s (%s)\n",
                     qPrintable(text),
                     best ? qPrintable(QStringLiteral("%1 pixels of ink unmatched")
                                           .arg(best->unmatched))
                          : "no size of the face fits");
        return 1;
    }
    std::fprintf(stderr, "screenprobe: read %s in %s, %d pixels of its ink unmatched\n",
                 qPrintable(text),
                 qPrintable(QColor(*commonest(shot, best->shown, background)).name()),
                 best->unmatched);
    // Below the text: the buttons side by side in the last row that has
    // ink (captions), each where ink stands out (a caption, a frame), apart
    // from the next by more than a sixth of the row's height (the space
    // between two framed buttons; captions alone stand further apart) and
    // at least half as wide as the row is high; a text field when
    // something lies between the text and that row.
    const auto row = std::find_if(lines.crbegin(), lines.crend() - 1,
                                  [](const Line &line) { return line.ink.has_value(); });
    if (row != lines.crend() - 1) {
        const Line &buttons = *row;
        if (std::next(row) != lines.crend() - 1) {
            std::printf("field %d %d\n", shot.width() / 2,
                        (lines.first().bounds.bottom() + buttons.bounds.top()) / 2);
        }
        const int apart = std::max(3, buttons.bounds.height() / 6);
        int left = -1, gap = 0;
        for (int x = 0; x <= shot.width(); ++x) {
            bool marked = false;
            for (int y = buttons.bounds.top(); x < shot.width() && y <= buttons.bounds.bottom() && !marked; ++y)
                marked = standsOut(shot.pixel(x, y), background);
            if (marked) {
                if (left < 0)
                    left = x;
                gap = 0;
            } else if (left >= 0 && (++gap > apart || x == shot.width())) {
                // A stray mark of a frame is not a button.
                if (x - gap - left >= buttons.bounds.height() / 2)
                    std::printf("button %d %d\n", (left + x - gap) / 2, buttons.bounds.center().y());
                left = -1;
            }
        }
    }
    return 0;
}

} // namespace

// Where a factor box may show anything: it sizes itself to its number.
QRect factorArea(segni::ui::Label *box)
{
    QRect area;
    for (int value = -10; value <= 10; ++value) {
        box->setCaption(QString::number(value));
        area |= box->geometry();
    }
    return area;
}

// How far a caption's rendering in the box is from what the shot shows
// there, the window's client area starting at origin in the shot. With
// blank, the box of that size with nothing in it.
double differenceFor(segni::ui::Label *box, const QString &caption, const QImage &shot,
                     QPoint origin, bool blank = false)
{
    if (g_inkOnly) {
        // Ink and paper may be shifted a little to match, so a narrow number
        // could match part of a wide one ("1" in "10"): the window is
        // compared over the area of the widest, with the times signs and
        // brackets drawn in front as the window draws them.
        const QRect area = factorArea(box);
        box->setCaption(blank ? QString() : caption);
        const QImage candidate = grabbed(box->parentWidget(), area);
        const QImage shown = shot.copy(QRect(scaled(area.topLeft()) + origin, candidate.size()))
                                 .convertToFormat(QImage::Format_RGB32);
        return difference(candidate, shown, {});
    }
    box->setCaption(caption);
    QImage candidate = grabbed(box);
    if (blank) {
        // Inside the two-pixel frame, where no glyph of a number reaches.
        const int frame = qCeil(2 * g_scale);
        const QRect inside = candidate.rect().adjusted(frame, frame, -frame, -frame);
        QPainter(&candidate).fillRect(inside, QColor(candidate.pixel(inside.topLeft() + QPoint(1, 1))));
    }
    const QImage shown = shot.copy(QRect(scaled(box->pos()) + origin, candidate.size()))
                             .convertToFormat(QImage::Format_RGB32);
    QList<QRect> covered;
    for (const QRect &part : coveredParts(box))
        covered.append(scaled(part));
    return difference(candidate, shown, covered);
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
    // The model of the game window drawn at the picture's scale.
    if (argc > 3 && QByteArrayView(argv[1]) == "--scale" && QByteArrayView(argv[3]) == "--image"
        && QByteArray(argv[2]).toDouble() >= 1)
        qputenv("QT_SCALE_FACTOR", argv[2]);
    QApplication app(argc, argv);
    // The faces the game draws in.
    segni::ui::installFonts();
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() > 2 && args[0] == QLatin1String("--scale")) {
        g_scale = args[1].toDouble();
        if (!(g_scale > 0)) {
            std::fprintf(stderr, "screenprobe: %s is no scale\n", qPrintable(args[1]));
            return 2;
        }
        args = args.mid(2);
    }
    if (args.size() == 2 && args[0] == QLatin1String("--locate"))
        return locate(args[1]);
    const bool closing = args.size() == 3 && args[0] == QLatin1String("--closing");
    if (closing || (args.size() == 3 && args[0] == QLatin1String("--box"))) {
        const QImage shot = QImage(args[1]).convertToFormat(QImage::Format_RGB32);
        if (shot.isNull()) {
            std::fprintf(stderr, "screenprobe: cannot read %s\n", qPrintable(args[1]));
            return 2;
        }
        return closing ? readClosingPage(shot, args[2]) : readBox(shot, args[2]);
    }
    const bool fromFile = args.size() == 2 && args[0] == QLatin1String("--image");
    const bool within = args.size() == 2 && args[0] == QLatin1String("--within");
    const bool save = args.size() == 3 && args[1] == QLatin1String("--save");
    if (!(args.size() == 1 || fromFile || within || save)) {
        std::fprintf(stderr, "usage: screenprobe [--within] WINDOW-ID [--save FILE.png]\n"
                             "       screenprobe --image FILE.png\n"
                             "       screenprobe --locate NAME\n"
                             "       screenprobe --closing FILE.png TEXT\n"
                             "       screenprobe --box FILE.png TEXT\n"
                             "       screenprobe --scale SCALE --image|--closing|--box ...\n");
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
    QPoint origin = scaled(QPoint(0, model.menuBar()->sizeHint().height()));
    const QImage face = grabbed(model.txtAnswer);
    // Its face without the sunken frame, less a little for a compositor's
    // rounding at the ends.
    const int length = face.width() - 6;
    const std::optional<QPoint> modelCorner = answerBoxCorner(face, length);
    const std::optional<QPoint> shownCorner = answerBoxCorner(shot, length);
    if (modelCorner && shownCorner) {
        origin = *shownCorner - *modelCorner - scaled(model.txtAnswer->pos());
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
        // Drawn smaller than designed, a number has fewer pixels to tell it
        // from an empty box by.
        if (!(bestDifference * (g_scale < 1 ? 2 : 4) < blankDifference)) {
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
