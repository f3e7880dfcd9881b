// The fifteen-minute clock, driven by scripted ticks.

#include "fakeplatform.h"

#include <QFile>
#include <QTest>

using namespace segni;
using namespace segni::testing;

class CountdownTest : public QObject
{
    Q_OBJECT
private slots:
    void countsDownAcrossRollovers_data();
    void countsDownAcrossRollovers();
    void secondsPlaceNeverShowsSixty();
    void gameLastsNineHundredAndOneTicks();
    void timeUpDuringTheRecordAnnouncementEndsTheGameOnce();
    void timeUpDuringTheNewGameQuestionEndsTheGameOnce();
    void ticksDuringTheExitBoxesDoNotEndTheGameAgain();
    void ticksAfterANewGameIsConfirmedDoNotEndIt();
};

void CountdownTest::countsDownAcrossRollovers_data()
{
    QTest::addColumn<int>("ore");
    QTest::addColumn<int>("minuti");
    QTest::addColumn<int>("secondi");
    QTest::addColumn<QString>("shown");
    QTest::newRow("first tick") << 0 << 15 << 0 << "00:14:59";
    QTest::newRow("plain second") << 0 << 14 << 59 << "00:14:58";
    QTest::newRow("minute rollover") << 0 << 14 << 0 << "00:13:59";
    QTest::newRow("hour rollover") << 1 << 0 << 0 << "00:59:59";
    QTest::newRow("last second") << 0 << 0 << 1 << "00:00:00";
}

void CountdownTest::countsDownAcrossRollovers()
{
    QFETCH(int, ore);
    QFETCH(int, minuti);
    QFETCH(int, secondi);
    QFETCH(QString, shown);
    Integer h = Integer(ore), m = Integer(minuti);
    float s = float(secondi);
    countDownOneSecond(h, m, s);
    QCOMPARE(clockText(h, m, s), shown);
}

void CountdownTest::secondsPlaceNeverShowsSixty()
{
    Game game;
    game.start();
    for (int i = 0; i < 900; ++i) {
        game.platform.tick();
        QVERIFY(!game.w().lblconto->caption().endsWith(QStringLiteral(":60")));
        QVERIFY(game.tavola->secondi < 60);
    }
}

void CountdownTest::gameLastsNineHundredAndOneTicks()
{
    Game game;
    game.start();
    game.platform.tick(899);
    QCOMPARE(game.w().lblconto->caption(), QStringLiteral("00:00:01"));
    game.platform.tick();
    QCOMPARE(game.w().lblconto->caption(), QStringLiteral("00:00:00"));
    QVERIFY(!game.platform.endedWith);
    QVERIFY(game.platform.messageTexts().isEmpty());
    game.platform.tick();
    QCOMPARE(game.platform.messageTexts(),
             QStringList{QStringLiteral("Ciao Anna, alla prossima sfida!")});
    QCOMPARE(game.platform.endedWith, std::optional<int>(0));
}

void CountdownTest::timeUpDuringTheRecordAnnouncementEndsTheGameOnce()
{
    Game game;
    game.start(drawsFor(1, 1, 1, 0));
    game.answer(QStringLiteral("-1")); // record 0 beaten: announced next
    game.platform.tick(900);
    game.platform.calls.clear();
    // While "E' record" is open the clock runs out; the goodbye comes, the
    // record is saved, and the question handler never resumes.
    game.platform.replies = {Reply{BoxAnswer::Ok, {}, [&] { game.platform.tick(3); }}};
    game.platform.rng.draws = drawsFor(2, 2, 2, 0);
    const QImage gradientBefore = game.w().surface->backing();
    game.tavola->cmdNext_Click();
    QCOMPARE(game.platform.messageTexts(),
             (QStringList{QStringLiteral("E' record"), QStringLiteral("Ciao Anna, alla prossima sfida!"),
                          QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E")}));
    QCOMPARE(game.platform.endCount, 1);
    QCOMPARE(game.w().surface->backing(), gradientBefore); // not repainted
    QCOMPARE(bytesOf(game.scoreFile()), QByteArray("1\r\n"));
}

void CountdownTest::timeUpDuringTheNewGameQuestionEndsTheGameOnce()
{
    Game game;
    game.start(drawsFor(1, 1, 1, 0));
    game.answer(QStringLiteral("-1"));
    game.platform.tick(900);
    game.platform.calls.clear();
    game.platform.replies = {Reply{BoxAnswer::Yes, {}, [&] { game.platform.tick(); }}};
    game.tavola->Next_Click();
    const QStringList texts = game.platform.messageTexts();
    QCOMPARE(texts.size(), 3); // question, goodbye, one confirmation
    QCOMPARE(texts[1], QStringLiteral("Ciao Anna, alla prossima sfida!"));
    QCOMPARE(texts[2], QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E"));
    QCOMPARE(game.platform.endCount, 1);
    QCOMPARE(game.restarts, 0);
}

void CountdownTest::ticksDuringTheExitBoxesDoNotEndTheGameAgain()
{
    Game game;
    game.start(drawsFor(1, 1, 1, 0));
    game.answer(QStringLiteral("-1"));
    game.platform.tick(900);
    game.platform.calls.clear();
    const auto moreTicks = [&] { game.platform.tick(5); };
    game.platform.replies = {Reply{BoxAnswer::Ok, {}, moreTicks}, Reply{BoxAnswer::Ok, {}, moreTicks}};
    game.platform.tick();
    QCOMPARE(game.platform.messageTexts().size(), 2); // one goodbye, one save
    QCOMPARE(game.platform.endCount, 1);
}

void CountdownTest::ticksAfterANewGameIsConfirmedDoNotEndIt()
{
    Game game;
    game.start(drawsFor(1, 1, 1, 0));
    game.answer(QStringLiteral("-1"));
    game.platform.tick(900);
    game.platform.calls.clear();
    // Yes, and the clock runs out while the record confirmation is open.
    game.platform.replies = {Reply{BoxAnswer::Yes, {}, {}},
                             Reply{BoxAnswer::Ok, {}, [&] { game.platform.tick(2); }}};
    game.tavola->Next_Click();
    QCOMPARE(game.platform.messageTexts().size(), 2);
    QVERIFY(!game.platform.endedWith);
    QCOMPARE(game.restarts, 1);
}

QTEST_MAIN(CountdownTest)
#include "tst_countdown.moc"
