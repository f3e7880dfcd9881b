// The game window as designed: controls, places, fonts, colours, order.

#include "fakeplatform.h"
#include "ui/layout.h"

#include <QApplication>
#include <QFontInfo>
#include <QMenuBar>
#include <QTest>

using namespace segni;
using namespace segni::testing;

class WindowTest : public QObject
{
    Q_OBJECT
private slots:
    void controlsStandAtTheirDesignPlaces_data();
    void controlsStandAtTheirDesignPlaces();
    void clientAreaHasTheDesignSize();
    void designedFacesMapOntoInstalledFonts_data();
    void designedFacesMapOntoInstalledFonts();
    void tabCyclesThroughEnabledControlsOnly();
    void buttonsAndTextBoxLieInFrontOfLabels();
    void newQuestionButtonShowsItsStateInItsPicture();
    void menuBarHasItsEntriesInOrder();
    void picturesAreRealIcons_data();
    void picturesAreRealIcons();
    void labelWithLineEndGrowsByALine();
};

void WindowTest::controlsStandAtTheirDesignPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("pixels");
    QTest::newRow("Label5 above the client area") << "Label5" << QRect(200, -8, 33, 113);
    QTest::newRow("txtAnswer") << "txtAnswer" << QRect(616, 8, 161, 80);
    QTest::newRow("lblMessage") << "lblMessage" << QRect(112, 136, 633, 41);
    QTest::newRow("Label12 without auto-size") << "Label12" << QRect(72, 496, 153, 25);
    QTest::newRow("cmdExit") << "cmdExit" << QRect(512, 352, 121, 73);
    QTest::newRow("cmdNext") << "cmdNext" << QRect(168, 352, 121, 73);
    QTest::newRow("Image1") << "Image1" << QRect(136, 168, 32, 32);
}

void WindowTest::controlsStandAtTheirDesignPlaces()
{
    QFETCH(QString, name);
    QFETCH(QRect, pixels);
    Game game;
    auto *control = game.w().findChild<QWidget *>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), pixels);
}

void WindowTest::clientAreaHasTheDesignSize()
{
    Game game;
    game.tavola->show();
    QVERIFY(QTest::qWaitForWindowExposed(&game.w()));
    QCOMPARE(game.w().surface->size(), QSize(792, 554));
    QCOMPARE(game.w().surface->mapTo(&game.w(), QPoint(0, 0)).y(),
             game.w().menuBar()->height());
}

void WindowTest::designedFacesMapOntoInstalledFonts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<bool>("bold");
    QTest::newRow("Arial 48 bold") << "lblNum1" << "Liberation Sans" << 64 << true;
    QTest::newRow("Times New Roman 36 bold") << "lblScore" << "Liberation Serif" << 48 << true;
    QTest::newRow("Arial Black 12 bold") << "lblconto" << "Liberation Sans" << 16 << true;
    QTest::newRow("MS Sans Serif 18") << "Label6" << "Liberation Sans" << 24 << false;
    QTest::newRow("MS Sans Serif 8.25 bold") << "cmdNext" << "Liberation Sans" << 11 << true;
}

void WindowTest::designedFacesMapOntoInstalledFonts()
{
    QFETCH(QString, name);
    QFETCH(QString, family);
    QFETCH(int, pixelSize);
    QFETCH(bool, bold);
    Game game;
    auto *control = game.w().findChild<QWidget *>(name);
    QVERIFY(control);
    const QFontInfo info(control->font());
    QCOMPARE(info.family(), family);
    QCOMPARE(info.pixelSize(), pixelSize);
    QCOMPARE(info.bold(), bold);
}

void WindowTest::tabCyclesThroughEnabledControlsOnly()
{
    Game game;
    game.load();
    game.tavola->show();
    QVERIFY(QTest::qWaitForWindowActive(&game.w()));
    ui::MainWindow &w = game.w();
    // The first question left the focus in the answer box; cmdNext is
    // disabled, so Tab moves between the answer box and cmdExit only.
    QCOMPARE(QApplication::focusWidget(), w.txtAnswer);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.cmdExit);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.txtAnswer);
    w.cmdNext->setEnabled(true);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.cmdNext);
}

void WindowTest::buttonsAndTextBoxLieInFrontOfLabels()
{
    Game game;
    const QObjectList children = game.w().surface->children();
    // Children paint in order: the last ones are in front.
    const auto at = [&](const char *name) {
        return children.indexOf(game.w().findChild<QWidget *>(QString::fromLatin1(name)));
    };
    QVERIFY(at("Label6") < at("lblMessage"));
    QVERIFY(at("lblMessage") < at("lblconto")); // the clock shows over the message line
    QVERIFY(at("Image1") < at("lblScore1"));
    QVERIFY(at("lblTime") < at("Image1"));
    QVERIFY(at("Label11") < at("txtAnswer"));
    QVERIFY(at("txtAnswer") < at("cmdExit"));
}

void WindowTest::newQuestionButtonShowsItsStateInItsPicture()
{
    Game game;
    ui::PictureButton *next = game.w().cmdNext;
    const auto picture = [&] { return next->currentPicture().pixmap(32).toImage(); };
    QVERIFY(!next->isEnabled());
    const QImage disabled = picture();
    next->setEnabled(true);
    const QImage normal = picture();
    next->setDown(true);
    const QImage pressed = picture();
    QVERIFY(disabled != normal);
    QVERIFY(pressed != normal);
    QVERIFY(pressed != disabled);
    // The disabled face grins with a red mouth.
    bool red = false;
    for (int y = 16; y < 32 && !red; ++y)
        for (int x = 0; x < 32 && !red; ++x)
            red = disabled.pixelColor(x, y) == QColor(255, 0, 0);
    QVERIFY(red);
}

void WindowTest::menuBarHasItsEntriesInOrder()
{
    Game game;
    const QList<QAction *> entries = game.w().menuBar()->actions();
    QStringList names;
    for (QAction *entry : entries)
        names << entry->objectName();
    QCOMPARE(names, (QStringList{"INFOMAZIONI", "Ciao", "Next", "o"}));
    QCOMPARE(entries[2]->text(), QStringLiteral("NUOVO GIOCO"));
    QVERIFY(entries[0]->text().endsWith(QLatin1Char(' ')));
    QVERIFY(entries[3]->text().startsWith(QStringLiteral("Per contattare gli autori:")));
    QVERIFY(entries[1]->menu()->actions().first()->text().startsWith(QStringLiteral("- ")));
    QCOMPARE(entries[0]->menu()->actions().first()->objectName(), QStringLiteral("Istituto"));
}

void WindowTest::picturesAreRealIcons_data()
{
    QTest::addColumn<QString>("resource");
    QTest::addColumn<QList<QSize>>("sizes");
    const QList<QSize> button{QSize(32, 32), QSize(16, 16)};
    QTest::newRow("window icon") << ":/icons/segni.ico" << QList<QSize>{QSize(48, 48)};
    QTest::newRow("hand cursor") << ":/icons/hand.cur" << QList<QSize>{QSize(32, 32)};
    QTest::newRow("smiling face") << ":/icons/smile.ico" << button;
    QTest::newRow("straight face") << ":/icons/straight.ico" << button;
    QTest::newRow("grinning face") << ":/icons/grin.ico" << button;
    QTest::newRow("no entry") << ":/icons/noentry.ico" << button;
    QTest::newRow("stopwatch") << ":/icons/stopwatch.ico" << button;
}

void WindowTest::picturesAreRealIcons()
{
    QFETCH(QString, resource);
    QFETCH(QList<QSize>, sizes);
    const QIcon icon(resource);
    QCOMPARE(icon.availableSizes(), sizes);
    QVERIFY(!QImage(resource).isNull());
}

void WindowTest::labelWithLineEndGrowsByALine()
{
    Game game;
    ui::Label *holder = game.w().lblnome;
    holder->setCaption(QStringLiteral("Anna"));
    const int oneLine = holder->height();
    holder->setCaption(QStringLiteral("Anna\r\n"));
    QCOMPARE(holder->caption(), QStringLiteral("Anna\r\n"));
    QVERIFY(holder->height() > oneLine);
    QCOMPARE(holder->pos(), QPoint(232, 496));
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
