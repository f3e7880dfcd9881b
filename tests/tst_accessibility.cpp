// What a screen reader is told about the window, read through Qt's
// accessibility interfaces.

#include "fakeplatform.h"

#include <QDir>

#include <QAccessible>
#include <QTest>

using namespace segni;
using namespace segni::testing;

class AccessibilityTest : public QObject
{
    Q_OBJECT
private slots:
    void controlsAreNamedInItalian_data();
    void controlsAreNamedInItalian();
    void spokenNamesFollowTheGame();
};

void AccessibilityTest::controlsAreNamedInItalian_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    // After a question -7 x (-3) x (-2) and the wrong answer 42.
    QTest::newRow("first factor") << "lblNum1" << "Primo fattore: -7" << "";
    QTest::newRow("second factor") << "lblNum2" << "Secondo fattore: -3" << "";
    QTest::newRow("third factor") << "lblnum5" << "Terzo fattore: -2" << "";
    QTest::newRow("answer box says the question") << "txtAnswer" << "Risultato"
                                                 << "Quanto fa meno 7 per meno 3 per meno 2?";
    QTest::newRow("verdict") << "lblMessage" << "Esito della risposta: Sbagliato!! -42" << "";
    QTest::newRow("right answers") << "lblScore" << "Risposte esatte: 0" << "";
    QTest::newRow("wrong answers") << "lblScore1" << "Risposte errate: 1" << "";
    QTest::newRow("all answers") << "lblScore2" << "Risposte totali: 1" << "";
    QTest::newRow("clock, its time read on demand") << "lblconto" << "Tempo restante" << "";
    QTest::newRow("player") << "lblnome1" << "Sfidante: Anna" << "";
    QTest::newRow("record holder") << "lblnome" << "Detentore del record: Bruno" << "";
    QTest::newRow("record points") << "lblpunti" << "Punti del record: 9" << "";
    QTest::newRow("new question button says the verdict")
        << "cmdNext" << "Nuovo calcolo" << "Sbagliato, era meno 42. Esatte 0, errate 1, totali 1.";
    QTest::newRow("exit button") << "cmdExit" << "Exit" << "Termina il gioco";
}

void AccessibilityTest::controlsAreNamedInItalian()
{
    QFETCH(QString, object);
    QFETCH(QString, name);
    QFETCH(QString, description);
    Game game;
    QDir().mkpath(game.platform.folder);
    QVERIFY(saveToFolder(game.platform.folder, QStringLiteral("9"),
                                QStringLiteral("Bruno"))
                .saved());
    game.start(drawsFor(7, 3, 2, 0));
    game.answer(QStringLiteral("42"));
    auto *widget = game.w().findChild<QWidget *>(object);
    QVERIFY(widget);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), name);
    if (!description.isEmpty())
        QCOMPARE(iface->text(QAccessible::Description), description);
}

void AccessibilityTest::spokenNamesFollowTheGame()
{
    Game game;
    game.start(drawsFor(7, 3, 2, 0));
    QAccessibleInterface *first = QAccessible::queryAccessibleInterface(game.w().lblNum1);
    QAccessibleInterface *box = QAccessible::queryAccessibleInterface(game.w().txtAnswer);
    QAccessibleInterface *next = QAccessible::queryAccessibleInterface(game.w().cmdNext);
    QAccessibleInterface *clock = QAccessible::queryAccessibleInterface(game.w().lblconto);
    QVERIFY(clock->textInterface());

    game.answer(QStringLiteral("-42"));
    QCOMPARE(next->text(QAccessible::Description),
             QStringLiteral("Esatto. Esatte 1, errate 0, totali 1."));
    // The clock keeps its name (a changed name would be announced every
    // second) and gives the time as its text, read when asked.
    game.platform.tick(2);
    QCOMPARE(clock->text(QAccessible::Name), QStringLiteral("Tempo restante"));
    QCOMPARE(clock->textInterface()->text(0, -1), QStringLiteral("00:14:58"));

    // The next question: positive factors are said without a sign, and the
    // old verdict is gone from the button.
    game.platform.rng.draws = drawsFor(4, 1, 1, 2);
    game.tavola->cmdNext_Click();
    QCOMPARE(first->text(QAccessible::Name), QStringLiteral("Primo fattore: 4"));
    QCOMPARE(box->text(QAccessible::Description), QStringLiteral("Quanto fa 4 per meno 1 per 1?"));
    QCOMPARE(next->text(QAccessible::Description), QStringLiteral("Passa al calcolo successivo"));
    // The window says what to do.
    QVERIFY(!QAccessible::queryAccessibleInterface(&game.w())
                 ->text(QAccessible::Description)
                 .isEmpty());
}

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
