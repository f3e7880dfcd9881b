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

using namespace segni;

class PlatformTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void boxButtonsSpeakItalian_data();
    void boxButtonsSpeakItalian();
    void dateWithoutRegionalSettingsIsItalian();
    void timerTicksOnceASecondFromCreation();
    void reseedingWithTheSameClockDoesNotRepeatDraws();
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

QTEST_MAIN(PlatformTest)
#include "tst_platform.moc"
