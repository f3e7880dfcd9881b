// Where a test taps on a picture of the game, where reading its text
// cannot say: with --locate it prints where a control or menu bar entry
// of the game window is (its centre, in the window's own pixels), from
// the window's own description. With --box it prints where the controls
// of a picture of a box are, below its text: "field X Y" for a text
// field, "button X Y" for each button, left to right. With --closing it
// checks a picture of the web page's closing page: the page in its
// designed background, one line of text in its designed colour, centred,
// and a button below it that has a caption of its own colour; it prints
// where the button is. Positions are in the picture's own pixels. The
// texts themselves are read by the tests with Tesseract.
//
// Usage: screenprobe --locate NAME
//        screenprobe --box FILE.png
//        screenprobe --closing FILE.png

#include "ui/layout.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QHash>
#include <QMenuBar>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

// A window built from the same description, never shown: it knows where
// the game's controls are.
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

// The closing page: the page in its designed background, one line in the
// designed colour, centred, above a button with a caption of its own
// colour. Prints the button's centre.
int closingPage(const QImage &shot)
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
    const Line &button = lines[1];
    if (button.fill == background || !button.ink) {
        std::fprintf(stderr, "screenprobe: no button with a caption below the text\n");
        return 1;
    }
    std::printf("%d %d\n", button.bounds.center().x(), button.bounds.center().y());
    return 0;
}

// The controls of a box, below its text: the buttons side by side in the
// last row that has ink (captions), each where ink stands out (a caption,
// a frame), apart from the next by more than a sixth of the row's height
// (the space between two framed buttons; captions alone stand further
// apart) and at least half as wide as the row is high; a text field when
// something lies between the first line and that row.
int boxControls(const QImage &shot)
{
    const QRgb background = *commonest(shot, shot.rect());
    const QList<Line> lines = linesOf(shot, background);
    std::fprintf(stderr, "screenprobe: the box is %s and shows %s\n",
                 qPrintable(QColor(background).name()), qPrintable(describe(lines)));
    const auto row = std::find_if(lines.crbegin(), lines.crend() - 1,
                                  [](const Line &line) { return line.ink.has_value(); });
    if (lines.size() < 2 || row == lines.crend() - 1) {
        std::fprintf(stderr, "screenprobe: no row of buttons below the text\n");
        return 1;
    }
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
    return 0;
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

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The faces the game draws in: the menu bar's entries are as wide as
    // the game draws them.
    segni::ui::installFonts();
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("--locate"))
        return locate(args[1]);
    if (args.size() == 2 && (args[0] == QLatin1String("--box") || args[0] == QLatin1String("--closing"))) {
        const QImage shot = QImage(args[1]).convertToFormat(QImage::Format_RGB32);
        if (shot.isNull()) {
            std::fprintf(stderr, "screenprobe: cannot read %s\n", qPrintable(args[1]));
            return 2;
        }
        return args[0] == QLatin1String("--box") ? boxControls(shot) : closingPage(shot);
    }
    std::fprintf(stderr, "usage: screenprobe --locate NAME\n"
                         "       screenprobe --box FILE.png\n"
                         "       screenprobe --closing FILE.png\n");
    return 2;
}
