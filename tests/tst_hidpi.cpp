// The window at a device pixel ratio other than 1 (run with QT_SCALE_FACTOR
// set): the layout keeps its places, text and gradient are drawn at the
// screen's own resolution, and the 32 x 32 pictures are enlarged pixel by
// pixel rather than smoothed.

#include "fakeplatform.h"

#include <QTest>

#include <cmath>

using namespace segni;
using namespace segni::testing;

class HiDpiTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void layoutScalesWithTheRatio();
    void gradientIsDrawnAtFullResolution();
    void textIsRenderedAtFullResolution();
    void picturesAreEnlargedWithoutBlur();

private:
    qreal ratio = 1;
};

void HiDpiTest::initTestCase()
{
    ratio = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
    QVERIFY2(ratio > 1, "run with QT_SCALE_FACTOR above 1");
}

void HiDpiTest::layoutScalesWithTheRatio()
{
    Game game;
    game.load();
    game.tavola->show();
    QVERIFY(QTest::qWaitForWindowExposed(&game.w()));
    QVERIFY(qAbs(game.w().devicePixelRatioF() - ratio) < 0.01);
    // Logical places stay the designed ones...
    QCOMPARE(game.w().surface->size(), QSize(792, 554));
    QCOMPARE(game.w().cmdExit->geometry(), QRect(512, 352, 121, 73));
    // ...and the grabbed window has ratio times as many pixels.
    const QPixmap shot = game.w().grab();
    QVERIFY(qAbs(shot.devicePixelRatio() - ratio) < 0.01);
    QCOMPARE(shot.width(), qRound(game.w().width() * ratio));
    // The exit button's purple face stands at its scaled place.
    const QImage image = shot.toImage();
    const QPoint inside = game.w().cmdExit->mapTo(&game.w(), QPoint(6, 6));
    QCOMPARE(image.pixelColor(qRound(inside.x() * ratio), qRound(inside.y() * ratio)),
             QColor(192, 0, 192));
}

void HiDpiTest::gradientIsDrawnAtFullResolution()
{
    Game game;
    game.start();
    game.w().show();
    QVERIFY(QTest::qWaitForWindowExposed(&game.w()));
    game.tavola->cmdNext_Click();
    const QImage &backing = game.w().surface->backing();
    QVERIFY(qAbs(backing.devicePixelRatio() - ratio) < 0.01);
    QCOMPARE(backing.height(), qRound(554 * ratio));
    // The last band reaches the bottom row.
    QCOMPARE(qBlue(backing.pixel(0, backing.height() - 1)), 255);
}

// Of a picture of dark text on the label's face, drawn scale times the
// label's size, how many pixels are partly covered (a glyph's smoothed
// edge) for each fully covered one. A glyph drawn at the screen's own
// resolution has edges one device pixel wide around strokes ratio times
// as wide, so fewer of them than a rendering at 1 has, and fewer still
// than that rendering blown up. The label's frame is left out.
double edgePerInk(const QImage &picture, qreal scale)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const int frame = qCeil(4 * scale);
    QHash<int, int> greys;
    for (int y = frame; y < image.height() - frame; ++y)
        for (int x = frame; x < image.width() - frame; ++x)
            ++greys[qGray(image.pixel(x, y))];
    int paper = 0;
    for (auto i = greys.cbegin(); i != greys.cend(); ++i)
        if (i.value() > greys.value(paper))
            paper = i.key();
    int edge = 0, ink = 0;
    for (int y = frame; y < image.height() - frame; ++y) {
        for (int x = frame; x < image.width() - frame; ++x) {
            const double cover = double(paper - qGray(image.pixel(x, y))) / paper;
            edge += cover > 0.2 && cover < 0.8;
            ink += cover >= 0.8;
        }
    }
    return ink ? double(edge) / ink : 1e9;
}

// How many pixels of the inside of two pictures of the label, of one size,
// differ by more than an eighth of black to white, for each pixel of ink
// the first has.
double differing(const QImage &a, const QImage &b, qreal scale)
{
    const QImage first = a.convertToFormat(QImage::Format_RGB32);
    const QImage second = b.convertToFormat(QImage::Format_RGB32);
    const int frame = qCeil(4 * scale);
    int differ = 0, ink = 0;
    for (int y = frame; y < first.height() - frame; ++y) {
        for (int x = frame; x < first.width() - frame; ++x) {
            differ += qAbs(qGray(first.pixel(x, y)) - qGray(second.pixel(x, y))) > 32;
            ink += qGray(first.pixel(x, y)) < 64;
        }
    }
    return ink ? double(differ) / ink : 0;
}

void HiDpiTest::textIsRenderedAtFullResolution()
{
    Game game;
    game.start(drawsFor(7, 3, 2, 0));
    ui::Label *box = game.w().lblNum1;
    const QImage label = box->grab().toImage();
    QCOMPARE(label.width(), qRound(box->width() * ratio));
    // The same label drawn at 1, and that blown up to the screen's size,
    // as a window drawn at low resolution would show it: in blocks, or
    // smoothed.
    QImage low(box->size(), QImage::Format_RGB32);
    low.setDevicePixelRatio(1);
    box->render(&low);
    const QImage blocks = low.scaled(label.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const QImage smoothed = low.scaled(label.size(), Qt::IgnoreAspectRatio,
                                       Qt::SmoothTransformation);
    const double sharp = edgePerInk(label, ratio), blurred = edgePerInk(smoothed, ratio);
    const double apart = differing(label, blocks, ratio);
    const QByteArray seen = QStringLiteral("edge pixels per ink pixel %1 (smoothed copy %2); "
                                           "pixels apart from the blocks per ink pixel %3")
                                .arg(sharp).arg(blurred).arg(apart).toUtf8();
    QVERIFY2(sharp < blurred * 0.75, seen.constData());
    QVERIFY2(apart > 0.05, seen.constData());
    qInfo("%s", seen.constData());
}

void HiDpiTest::picturesAreEnlargedWithoutBlur()
{
    Game game;
    game.load();
    ui::PictureButton *exit = game.w().cmdExit;
    const QImage image = exit->grab().toImage();
    // Every colour inside the picture is one of the picture's own: an
    // enlarged copy made by smoothing would invent blends of red and white.
    const QImage source = exit->currentPicture().pixmap(QSize(32, 32), 1.0).toImage();
    QSet<QRgb> own;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            if (qAlpha(source.pixel(x, y)) == 255)
                own.insert(source.pixel(x, y) | 0xff000000);
    const int left = qRound((exit->width() - 32) / 2 * ratio);
    const QFontMetrics metrics = exit->fontMetrics();
    const int top = qRound((exit->height() - (32 + 2 + metrics.height())) / 2 * ratio);
    // The middle of the picture, away from its antialiased outer edge.
    const int span = qRound(32 * ratio);
    for (int y = top + span / 4; y < top + span * 3 / 4; ++y)
        for (int x = left + span / 4; x < left + span * 3 / 4; ++x)
            QVERIFY2(own.contains(image.pixel(x, y) | 0xff000000),
                     qPrintable(QStringLiteral("blended pixel at %1,%2").arg(x).arg(y)));
}

QTEST_MAIN(HiDpiTest)
#include "tst_hidpi.moc"
