// The program's own link to the outside world: Italian boxes, the date,
// the one-second timer and the random generator.

#include "ui/qtplatform.h"

#include <QApplication>
#include <QDate>
#include <QInputDialog>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace segni;

class PlatformTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void boxButtonsSpeakItalian_data();
    void boxButtonsSpeakItalian();
    void boxesAreWideEnoughForTheirTitles_data();
    void boxesAreWideEnoughForTheirTitles();
    void dateWithoutRegionalSettingsIsItalian();
    void timerTicksOnceASecondFromCreation();
    void reseedingWithTheSameClockDoesNotRepeatDraws();
    void boxesAnswerOnceOrNever_data();
    void boxesAnswerOnceOrNever();
};

void PlatformTest::initTestCase()
{
    installItalianTranslation();
}

void PlatformTest::boxButtonsSpeakItalian_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("text");
    QTest::newRow("OK") << int(QMessageBox::Ok) << "OK";
    QTest::newRow("Yes") << int(QMessageBox::Yes) << QStringLiteral("Sì");
    QTest::newRow("No") << int(QMessageBox::No) << "No";
    QTest::newRow("Cancel") << int(QMessageBox::Cancel) << "Annulla";
}

void PlatformTest::boxButtonsSpeakItalian()
{
    QFETCH(int, button);
    QFETCH(QString, text);
    QMessageBox box;
    box.setStandardButtons(QMessageBox::StandardButton(button));
    QCOMPARE(box.button(QMessageBox::StandardButton(button))->text().remove(QLatin1Char('&')),
             text);
}

void PlatformTest::boxesAreWideEnoughForTheirTitles_data()
{
    QTest::addColumn<bool>("input");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    QTest::newRow("name prompt") << true << "Rovid edi do rerudiru da razuzo razozezo"
                                 << "Come ti chiami?" << 0;
    QTest::newRow("greeting") << false << "Sei pronto per il record? Buona fortuna"
                              << " Anna vediamo se sei un vero campione  "
                              << int(BoxIcon::Exclamation);
    QTest::newRow("goodbye") << false << "Data 09/12/2026" << "Ciao Anna, alla prossima sfida!"
                             << int(BoxIcon::None);
}

void PlatformTest::boxesAreWideEnoughForTheirTitles()
{
    QFETCH(bool, input);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(int, icon);
    QtPlatform platform;
    int width = 0;
    QFont font;
    QTimer look;
    look.setInterval(10);
    connect(&look, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        look.stop();
        width = box->width();
        font = box->font();
        box->done(0);
    });
    look.start();
    bool answered = false;
    if (input)
        platform.inputBox(nullptr, text, title, [&](const QString &) { answered = true; });
    else
        platform.messageBox(nullptr, {text, title, BoxIcon(icon)}, [&](BoxAnswer) { answered = true; });
    QTRY_VERIFY(answered);
    QVERIFY(width > 0);
    // Qt's own frame under Wayland: the title at 14 pixels, centred over the
    // window and its 3-pixel edges, clear of the 77 pixels of buttons and
    // edge at the right.
    font.setPixelSize(14);
    const int advance = QFontMetrics(font).horizontalAdvance(title);
    QVERIFY2(width + 6 >= advance + 2 * 77, qPrintable(QString::number(width)));
}

void PlatformTest::dateWithoutRegionalSettingsIsItalian()
{
#ifdef Q_OS_WIN
    QSKIP("Windows always has regional settings");
#endif
    // The tests run in the C locale, as a system with no regional settings.
    QCOMPARE(QLocale::system().language(), QLocale::C);
    QtPlatform platform;
    QCOMPARE(platform.shortDate(), QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")));
}

void PlatformTest::timerTicksOnceASecondFromCreation()
{
    QtPlatform platform;
    int ticks = 0;
    QElapsedTimer clock;
    clock.start();
    auto ticker = platform.createTicker([&] { ++ticks; });
    QVERIFY(ticker->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(ticks, 1, 3000);
    QVERIFY(clock.elapsed() >= 900);
    ticker->setEnabled(false);
    QVERIFY(!ticker->isEnabled());
}

void PlatformTest::reseedingWithTheSameClockDoesNotRepeatDraws()
{
    MixingRandom random(12345);
    random.reseed(36000);
    const double first = random.next();
    random.reseed(36000);
    const double second = random.next();
    QVERIFY(first != second);
    QVERIFY(first >= 0 && first < 1);
    QVERIFY(second >= 0 && second < 1);
}

// A box returns at once. Answered, it gives its answer from the event loop
// once it has gone; closed because the game ended, it never answers, so the
// handler that waited in it never resumes, even when the pupil had answered
// it just before.
void PlatformTest::boxesAnswerOnceOrNever_data()
{
    QTest::addColumn<bool>("input");
    QTest::addColumn<QString>("closedByTheGame"); // never, open, answered
    QTest::newRow("question box, answered") << false << "never";
    QTest::newRow("input box, answered") << true << "never";
    QTest::newRow("question box, closed as the game ends") << false << "open";
    QTest::newRow("input box, closed as the game ends") << true << "open";
    QTest::newRow("answered, then closed before delivery") << false << "answered";
}

void PlatformTest::boxesAnswerOnceOrNever()
{
    QFETCH(bool, input);
    QFETCH(QString, closedByTheGame);
    QtPlatform platform;
    QStringList answers;
    bool boxGoneFirst = false;
    const auto gone = [] { return !QApplication::activeModalWidget(); };
    if (input) {
        platform.inputBox(nullptr, QStringLiteral("Come ti chiami?"), QString(),
                          [&](const QString &name) {
                              boxGoneFirst = gone();
                              answers << name;
                          });
    } else {
        platform.messageBox(nullptr,
                            MessageRequest(QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"), QString(),
                                           BoxIcon::Question, BoxButtons::YesNo, BoxAnswer::No),
                            [&](BoxAnswer answer) {
                                boxGoneFirst = gone();
                                answers << (answer == BoxAnswer::Yes ? "yes" : "no");
                            });
    }
    QVERIFY(answers.isEmpty());
    QTRY_VERIFY(QApplication::activeModalWidget());
    auto *box = QApplication::activeModalWidget();
    if (closedByTheGame == QLatin1String("answered"))
        QTest::keyClick(box, Qt::Key_Return);
    if (closedByTheGame != QLatin1String("never")) {
        platform.closeBoxes();
        QTest::qWait(50);
        QVERIFY(gone());
        QCOMPARE(answers, QStringList());
        return;
    }
    if (input)
        static_cast<QInputDialog *>(box)->setTextValue(QStringLiteral("Anna"));
    QTest::keyClick(box, Qt::Key_Return);
    QTRY_COMPARE(answers, QStringList{input ? "Anna" : "no"});
    QVERIFY(boxGoneFirst);
    QTest::qWait(50);
    QCOMPARE(answers.size(), 1);
}

QTEST_MAIN(PlatformTest)
#include "tst_platform.moc"
