// The game window as designed: controls, places, fonts, colours, order.

#include "fakeplatform.h"
#include "ui/layout.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QTest>
#include <QToolButton>

using namespace segni;
using namespace segni::testing;

class WindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void controlsStandAtTheirDesignPlaces_data();
    void controlsStandAtTheirDesignPlaces();
    void clientAreaHasTheDesignSize();
    void designedFacesMapOntoInstalledFonts_data();
    void designedFacesMapOntoInstalledFonts();
    void menuBarShowsEveryEntry_data();
    void menuBarShowsEveryEntry();
    void textsFitTheirControls();
    void tabCyclesThroughEnabledControlsOnly();
    void buttonsAndTextBoxLieInFrontOfLabels();
    void newQuestionButtonShowsItsStateInItsPicture();
    void menuBarHasItsEntriesInOrder();
    void picturesAreRealIcons_data();
    void picturesAreRealIcons();
    void labelWithLineEndGrowsByALine();
};

void WindowTest::initTestCase()
{
    // CTest gives the tests a fontconfig file listing only the folders of
    // the font packages the game depends on: a system with nothing else.
    QVERIFY2(!QFontDatabase::families().contains(QStringLiteral("DejaVu Sans")),
             "run with FONTCONFIG_FILE set to the tests' own fontconfig file");
    // As the program does at start-up.
    ui::installFonts();
}

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
    // Texts the design leaves at the desktop's size: the window's own face.
    QTest::newRow("menu bar") << "menu bar" << "Liberation Sans" << 0 << false;
    QTest::newRow("submenu") << "INFOMAZIONI" << "Liberation Sans" << 0 << false;
    QTest::newRow("message box") << "message box" << "Liberation Sans" << 0 << false;
    QTest::newRow("input box") << "input box" << "Liberation Sans" << 0 << false;
    QTest::newRow("tooltip") << "tooltip" << "Liberation Sans" << 0 << false;
}

void WindowTest::designedFacesMapOntoInstalledFonts()
{
    QFETCH(QString, name);
    QFETCH(QString, family);
    QFETCH(int, pixelSize);
    QFETCH(bool, bold);
    Game game;
    QMessageBox messageBox;
    messageBox.setText(QStringLiteral("Programma freeware"));
    QInputDialog inputBox;
    inputBox.setLabelText(QStringLiteral("Come ti chiami?"));
    QFont font;
    if (name == QLatin1String("menu bar"))
        font = game.w().menuBar()->font();
    else if (name == QLatin1String("message box"))
        font = messageBox.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))->font();
    else if (name == QLatin1String("input box"))
        font = inputBox.findChild<QLabel *>()->font();
    else if (name == QLatin1String("tooltip"))
        font = QApplication::font("QTipLabel");
    else if (auto *control = game.w().findChild<QWidget *>(name))
        font = control->font();
    else
        QFAIL("no such control");
    const QFontInfo info(font);
    QCOMPARE(info.family(), family);
    if (pixelSize > 0)
        QCOMPARE(info.pixelSize(), pixelSize);
    QCOMPARE(info.bold(), bold);
}

void WindowTest::menuBarShowsEveryEntry_data()
{
    QTest::addColumn<double>("points");
    QTest::newRow("desktop size") << 0.0;
    QTest::newRow("large desktop text") << 14.0;
}

void WindowTest::menuBarShowsEveryEntry()
{
    QFETCH(double, points);
    const QFont saved = QApplication::font();
    if (points > 0) {
        QFont large = saved;
        large.setPointSizeF(points);
        QApplication::setFont(large);
    }
    ui::installFonts();
    Game game;
    game.w().show();
    QVERIFY(QTest::qWaitForWindowExposed(&game.w()));
    QMenuBar *bar = game.w().menuBar();
    for (QAction *entry : bar->actions()) {
        const QRect place = bar->actionGeometry(entry);
        QVERIFY2(!place.isEmpty() && bar->rect().contains(place), qPrintable(entry->text()));
    }
    // The button Qt adds for entries that do not fit.
    const auto *more = bar->findChild<QToolButton *>(QStringLiteral("qt_menubar_ext_button"));
    QVERIFY(!more || !more->isVisible());
    QVERIFY(game.w().surface->width() >= 792);
    QApplication::setFont(saved);
}

namespace {

// Where a text's glyphs fall when drawn at the origin of an unclipped
// canvas in the given rectangle: the rectangle the painted pixels cover.
QRect inkOf(const QString &text, const QFont &font, const QRect &area, int flags)
{
    const int margin = 200;
    QImage canvas(area.size() + QSize(2 * margin, 2 * margin), QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QRect(QPoint(margin, margin), area.size()), flags | Qt::TextDontClip,
                         text);
    }
    QRect ink;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x)
            if (qAlpha(canvas.pixel(x, y)) > 0)
                ink |= QRect(x, y, 1, 1);
    return ink.translated(area.topLeft() - QPoint(margin, margin));
}

} // namespace

void WindowTest::textsFitTheirControls()
{
    // A question with two-character factors, a wrong answer with the widest
    // product, and a long name: the widest texts the game writes.
    Game game;
    game.start(drawsFor(10, 6, 4, 0), QStringLiteral("Massimiliano"));
    game.answer(QStringLiteral("1"));
    game.w().lblnome->setCaption(QStringLiteral("Massimiliano"));
    game.w().lblpunti->setCaption(QStringLiteral("9999"));
    for (const ui::LabelDesign &design : ui::kLabels) {
        auto *label = game.w().findChild<ui::Label *>(QString::fromLatin1(design.name));
        QVERIFY(label);
        if (label->text().isEmpty())
            continue;
        const int frame = label->hasBorder() ? 2 : 0;
        const QRect inner = label->rect().adjusted(frame, frame, -frame, -frame);
        const int flags = Qt::AlignTop
            | (design.align == ui::Align::Centre ? Qt::AlignHCenter : Qt::AlignLeft);
        const QRect ink = inkOf(label->text(), label->font(), inner, flags);
        // The brackets stand out of the client area and keep only the part
        // of their glyphs inside it: their height is theirs to clip.
        const bool bracket = label->text() == QLatin1String("(")
            || label->text() == QLatin1String(")");
        QVERIFY2(ink.left() >= inner.left() && ink.right() <= inner.right(),
                 qPrintable(label->objectName()));
        if (!bracket)
            QVERIFY2(ink.top() >= inner.top() && ink.bottom() <= inner.bottom(),
                     qPrintable(label->objectName()));
    }
    for (ui::PictureButton *button : {game.w().cmdNext, game.w().cmdExit}) {
        const QRect ink = inkOf(QString(button->text()).remove(QLatin1Char('&')), button->font(),
                                button->rect(), Qt::AlignHCenter | Qt::AlignTop);
        QVERIFY2(ink.left() >= 2 && ink.right() < button->width() - 2,
                 qPrintable(button->objectName()));
    }
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
