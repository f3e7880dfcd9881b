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

void HiDpiTest::textIsRenderedAtFullResolution()
{
    Game game;
    game.start(drawsFor(7, 3, 2, 0));
    const QImage label = game.w().lblNum1->grab().toImage();
    QCOMPARE(label.width(), qRound(game.w().lblNum1->width() * ratio));
    // The digits carry some pure black pixels and some grey edge pixels, as
    // glyphs rendered at this resolution do; a blown-up low-resolution
    // rendering would have blocks instead.
    int black = 0;
    for (int y = 0; y < label.height(); ++y)
        for (int x = 0; x < label.width(); ++x)
            black += label.pixelColor(x, y) == Qt::black;
    QVERIFY(black > 0);
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
