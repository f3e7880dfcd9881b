// New questions: draws, sign patterns, the product, the record announcement
// and the background gradient.

#include "fakeplatform.h"

#include <QApplication>
#include <QTest>

using namespace segni;
using namespace segni::testing;

class QuestionTest : public QObject
{
    Q_OBJECT
private slots:
    void signPatternsGiveFactorsAndProduct_data();
    void signPatternsGiveFactorsAndProduct();
    void drawsOfExactlyZeroGiveZeroFactors();
    void drawsNearOneGiveTheLargestMagnitudes();
    void eachQuestionReseedsTwiceBeforeItsDraws();
    void recordAnnouncementIsDueAtRecordPlusOne_data();
    void recordAnnouncementIsDueAtRecordPlusOne();
    void announcementComesBeforeTheGradientAndFocus();
    void newQuestionClearsTheBoxAndTheVerdict();
    void gradientBandsCarryTheTintOfTheRawDraws();
    void onlyTheFirstActivationAfterLoadBringsAQuestion();
    void autoSizedFactorBoxGrowsToTheRight();
};

void QuestionTest::signPatternsGiveFactorsAndProduct_data()
{
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("pattern");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("third");
    QTest::addColumn<int>("product");
    QTest::newRow("all negative") << 7 << 3 << 2 << 0 << "-7" << "-3" << "-2" << -42;
    QTest::newRow("second positive") << 7 << 3 << 2 << 1 << "-7" << "3" << "-2" << 42;
    QTest::newRow("first and third positive") << 7 << 3 << 2 << 2 << "7" << "-3" << "2" << -42;
    QTest::newRow("largest magnitudes") << 10 << 6 << 4 << 1 << "-10" << "6" << "-4" << 240;
    QTest::newRow("smallest magnitudes") << 1 << 1 << 1 << 2 << "1" << "-1" << "1" << -1;
}

void QuestionTest::signPatternsGiveFactorsAndProduct()
{
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, c);
    QFETCH(int, pattern);
    Game game;
    game.start(drawsFor(a, b, c, pattern));
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, third);
    QFETCH(int, product);
    QCOMPARE(game.w().lblNum1->caption(), first);
    QCOMPARE(game.w().lblNum2->caption(), second);
    QCOMPARE(game.w().lblnum5->caption(), third);
    QCOMPARE(int(game.tavola->risultato), product);
}

void QuestionTest::drawsOfExactlyZeroGiveZeroFactors()
{
    Game game;
    game.start({0.0, 0.0, 0.0, 0.0});
    QCOMPARE(game.w().lblNum1->caption(), QStringLiteral("0"));
    QCOMPARE(game.w().lblNum2->caption(), QStringLiteral("0"));
    QCOMPARE(game.w().lblnum5->caption(), QStringLiteral("0"));
    QCOMPARE(int(game.tavola->risultato), 0);
    // Red and green channels are 0: the gradient is pure blue.
    const QImage &backing = game.w().surface->backing();
    QCOMPARE(QColor(backing.pixel(10, backing.height() - 1)), QColor(0, 0, 255));
}

void QuestionTest::drawsNearOneGiveTheLargestMagnitudes()
{
    Game game;
    game.start({0.99999, 0.99999, 0.99999, 0.99999});
    QCOMPARE(game.w().lblNum1->caption(), QStringLiteral("10"));
    QCOMPARE(game.w().lblNum2->caption(), QStringLiteral("-6"));
    QCOMPARE(game.w().lblnum5->caption(), QStringLiteral("4"));
    QCOMPARE(int(game.tavola->risultato), -240);
}

void QuestionTest::eachQuestionReseedsTwiceBeforeItsDraws()
{
    Game game;
    game.load();
    game.platform.rng.reseeds.clear();
    game.platform.clock = 36000;
    game.tavola->cmdNext_Click();
    QCOMPARE(game.platform.rng.reseeds, (QList<int>{36000, 36000}));
    QCOMPARE(game.platform.rng.drawsTaken, 4);
}

void QuestionTest::recordAnnouncementIsDueAtRecordPlusOne_data()
{
    QTest::addColumn<QString>("storedRecord");
    QTest::addColumn<QString>("score");
    QTest::addColumn<bool>("announced");
    QTest::newRow("empty record file, first right answer") << "" << "1" << true;
    QTest::newRow("empty record file, no right answer yet") << "" << "0" << false;
    QTest::newRow("record read with its line end") << "12\r\n" << "13" << true;
    QTest::newRow("record + 2 no longer announced") << "12\r\n" << "14" << false;
    QTest::newRow("equal to the record") << "12\r\n" << "12" << false;
    QTest::newRow("non-numeric record counts as 0") << "Anna" << "1" << true;
}

void QuestionTest::recordAnnouncementIsDueAtRecordPlusOne()
{
    QFETCH(QString, storedRecord);
    QFETCH(QString, score);
    QFETCH(bool, announced);
    Game game;
    game.load();
    game.w().lblpunti->setCaption(storedRecord);
    game.w().lblScore->setCaption(score);
    game.tavola->cmdNext_Click();
    QCOMPARE(game.platform.messageTexts().contains(QStringLiteral("E' record")), announced);
    if (announced) {
        const BoxCall &call = game.platform.calls.last();
        QCOMPARE(call.title, QString());
        QCOMPARE(call.icon, BoxIcon::None);
        QCOMPARE(call.buttons, BoxButtons::Ok);
    }
}

void QuestionTest::announcementComesBeforeTheGradientAndFocus()
{
    Game game;
    game.load();
    game.w().lblpunti->setCaption(QString());
    game.w().lblScore->setCaption(QStringLiteral("1"));
    bool gradientBefore = true;
    bool focusBefore = true;
    game.platform.replies.push_back(Reply{BoxAnswer::Ok, {}, [&] {
        gradientBefore = !game.w().surface->backing().isNull();
        focusBefore = game.w().focusWidget() == game.w().txtAnswer;
    }});
    game.tavola->cmdNext_Click();
    QVERIFY(!gradientBefore);
    QVERIFY(!focusBefore);
    QVERIFY(!game.w().surface->backing().isNull());
    QCOMPARE(game.w().focusWidget(), game.w().txtAnswer);
}

void QuestionTest::newQuestionClearsTheBoxAndTheVerdict()
{
    Game game;
    game.start(drawsFor(2, 2, 2, 0));
    game.answer(QStringLiteral("5"));
    QVERIFY(!game.w().lblMessage->caption().isEmpty());
    QVERIFY(game.w().cmdNext->isEnabled());
    game.tavola->cmdNext_Click();
    QCOMPARE(game.w().txtAnswer->text(), QString());
    QCOMPARE(game.w().lblMessage->caption(), QString());
    QVERIFY(!game.w().cmdNext->isEnabled());
}

void QuestionTest::gradientBandsCarryTheTintOfTheRawDraws()
{
    Game game;
    game.load();
    game.w().show();
    QVERIFY(QTest::qWaitForWindowExposed(&game.w()));
    // Raw magnitudes 7 and 3 (the sign pattern does not matter): red 140,
    // green 60, blue rising from 0 to 255 down the window.
    game.platform.rng.draws = drawsFor(7, 3, 2, 2);
    game.tavola->cmdNext_Click();
    QVERIFY(QTest::qWaitFor([&] { return !game.w().surface->backing().isNull(); }));
    const QImage shot = game.w().surface->grab().toImage();
    const int height = game.w().surface->height();
    // A spot in the bottom-right corner and one near the top, away from
    // every control.
    QCOMPARE(QColor(shot.pixel(shot.width() - 2, 0)), QColor(140, 60, 0));
    QCOMPARE(QColor(shot.pixel(shot.width() - 2, shot.height() - 1)), QColor(140, 60, 255));
    // 256 bands of equal height cover the area: band i starts at i*H/256.
    for (int band : {1, 64, 128, 200}) {
        const int y = band * height / 256;
        QCOMPARE(qBlue(shot.pixel(5, y)), band);
    }
    QCOMPARE(qBlue(shot.pixel(shot.width() - 2, height / 2)), 128);
}

void QuestionTest::onlyTheFirstActivationAfterLoadBringsAQuestion()
{
    Game game;
    game.load();
    game.tavola->show();
    QVERIFY(QTest::qWaitForWindowActive(&game.w()));
    QCOMPARE(game.platform.rng.drawsTaken, 4);
    QCOMPARE(QApplication::focusWidget(), game.w().txtAnswer);
    // Activation again (after a box, or switching applications): no new
    // question.
    game.tavola->Form_Activate();
    QCOMPARE(game.platform.rng.drawsTaken, 4);
}

void QuestionTest::autoSizedFactorBoxGrowsToTheRight()
{
    Game game;
    game.load();
    ui::Label *box = game.w().lblNum1;
    const QRect empty = box->geometry();
    QCOMPARE(empty, QRect(72, 16, 23, 87));
    game.platform.rng.draws = drawsFor(7, 3, 2, 0);
    game.tavola->cmdNext_Click();
    QCOMPARE(box->geometry().topLeft(), empty.topLeft());
    QVERIFY(box->width() > empty.width());
    QCOMPARE(box->width(), box->fontMetrics().horizontalAdvance(QStringLiteral("-7")) + 4);
}

QTEST_MAIN(QuestionTest)
#include "tst_question.moc"
