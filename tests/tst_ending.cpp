// Ending a game: the exit button, closing the window, and a new game.

#include "fakeplatform.h"
#include "records/recordfile.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace segni;
using namespace segni::testing;

namespace {

// A game on a record folder holding the given record, that has scored
// `right` right answers by the time the test takes over.
void playTo(Game &game, const QByteArray &record, const QByteArray &holder, int right,
            const QString &name = QStringLiteral("Anna"))
{
    QDir().mkpath(game.platform.folder);
    QVERIFY(writeBytes(game.scoreFile(), record));
    QVERIFY(writeBytes(game.holderFile(), holder));
    game.start(drawsFor(1, 1, 1, 0), name);
    for (int i = 0; i < right; ++i) {
        game.platform.rng.draws = drawsFor(1, 1, 1, 0); // always -1
        game.answer(QStringLiteral("-1"));
        game.tavola->cmdNext_Click();
    }
    game.platform.calls.clear();
}

const QString kSaved = QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E");

} // namespace

class EndingTest : public QObject
{
    Q_OBJECT
private slots:
    void exitSavesOnlyABeatenRecord_data();
    void exitSavesOnlyABeatenRecord();
    void goodbyeNamesThePlayerAndTheDate();
    void newGameSavesABeatenRecordWithItsOwnConfirmation();
    void answeringNoLeavesTheGameAsItWas();
    void newGameStartsAFreshWindowFromZero();
    void closingTheWindowKeepsABeatenRecord_data();
    void closingTheWindowKeepsABeatenRecord();
    void aRecordRaisedMeanwhileStandsAndIsTold_data();
    void aRecordRaisedMeanwhileStandsAndIsTold();
    void theRecordShownFollowsTheFolder();
    void sessionEndSavesABeatenRecordAtOnce();
    void anEndingDuringTheSessionsSaveJoinsIt_data();
    void anEndingDuringTheSessionsSaveJoinsIt();
};

void EndingTest::exitSavesOnlyABeatenRecord_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("right");
    QTest::addColumn<bool>("saved");
    QTest::newRow("empty record, no right answers") << QByteArray() << 0 << false;
    QTest::newRow("empty record, one right answer") << QByteArray() << 1 << true;
    QTest::newRow("score equal to the record") << QByteArray("2\r\n") << 2 << false;
    QTest::newRow("score above the record") << QByteArray("2\r\n") << 3 << true;
    QTest::newRow("unreadable record counts as 0") << QByteArray("boh\r\n") << 1 << true;
}

void EndingTest::exitSavesOnlyABeatenRecord()
{
    QFETCH(QByteArray, record);
    QFETCH(int, right);
    QFETCH(bool, saved);
    Game game;
    playTo(game, record, "Bruno\r\n", right);
    // A lesson may end with the goodbye still open: the record is on disk
    // by then.
    QByteArray atGoodbye;
    game.platform.replies = {Reply{BoxAnswer::Ok, {}, [&] { atGoodbye = bytesOf(game.scoreFile()); }}};
    game.tavola->cmdExit_Click();
    const QStringList texts = game.platform.messageTexts();
    QCOMPARE(texts.first(), QStringLiteral("Ciao Anna, alla prossima sfida!"));
    QCOMPARE(atGoodbye, bytesOf(game.scoreFile()));
    if (saved) {
        QCOMPARE(texts, (QStringList{texts.first(), kSaved}));
        QCOMPARE(bytesOf(game.scoreFile()), QByteArray::number(right) + "\r\n");
        QCOMPARE(bytesOf(game.holderFile()), QByteArray("Anna\r\n"));
    } else {
        QCOMPARE(texts.size(), 1);
        QCOMPARE(bytesOf(game.scoreFile()), record);
        QCOMPARE(bytesOf(game.holderFile()), QByteArray("Bruno\r\n"));
    }
    QCOMPARE(game.platform.endedWith, std::optional<int>(0));
    QVERIFY(game.tavola->isOver());
}

void EndingTest::goodbyeNamesThePlayerAndTheDate()
{
    Game game;
    game.platform.date = QStringLiteral("08/12/2026");
    playTo(game, "5\r\n", "Bruno\r\n", 0, QString());
    game.tavola->cmdExit_Click();
    const BoxCall &goodbye = game.platform.calls.first();
    QCOMPARE(goodbye.text, QStringLiteral("Ciao , alla prossima sfida!"));
    QCOMPARE(goodbye.title, QStringLiteral("Data 08/12/2026"));
    QCOMPARE(goodbye.icon, BoxIcon::None);
    QCOMPARE(goodbye.buttons, BoxButtons::Ok);
}

void EndingTest::newGameSavesABeatenRecordWithItsOwnConfirmation()
{
    Game game;
    playTo(game, "1\r\n", "Bruno\r\n", 2);
    game.platform.replies = {Reply{BoxAnswer::Yes, {}, {}}};
    game.w().Next->trigger();
    QCOMPARE(game.platform.calls.size(), 2);
    const BoxCall &question = game.platform.calls[0];
    QCOMPARE(question.text, QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"));
    QCOMPARE(question.title, QStringLiteral("INIZIARE NUOVA GARA"));
    QCOMPARE(question.icon, BoxIcon::Question);
    QCOMPARE(question.buttons, BoxButtons::YesNo);
    QCOMPARE(question.defaultAnswer, BoxAnswer::No);
    QCOMPARE(game.platform.calls[1].text, kSaved + QLatin1Char('"'));
    QCOMPARE(bytesOf(game.scoreFile()), QByteArray("2\r\n"));
    QCOMPARE(bytesOf(game.holderFile()), QByteArray("Anna\r\n"));
    // No goodbye, and the program goes on with a new game.
    QVERIFY(!game.platform.endedWith);
    QCOMPARE(game.restarts, 1);
    QVERIFY(game.tavola->isOver());
    QVERIFY(!game.tavola->timer().isEnabled());
}

void EndingTest::answeringNoLeavesTheGameAsItWas()
{
    Game game;
    playTo(game, "", "", 1);
    game.platform.replies = {Reply{BoxAnswer::No, {}, [&] { game.platform.tick(3); }}};
    game.w().Next->trigger();
    QCOMPARE(game.platform.calls.size(), 1);
    QCOMPARE(game.restarts, 0);
    QVERIFY(!game.tavola->isOver());
    QCOMPARE(game.w().lblScore->caption(), QStringLiteral("1"));
    QCOMPARE(bytesOf(game.scoreFile()), QByteArray());
    // The clock went on counting while the question was open.
    QCOMPARE(game.w().lblconto->caption(), QStringLiteral("00:14:57"));
}

void EndingTest::newGameStartsAFreshWindowFromZero()
{
    FakePlatform platform;
    QTemporaryDir dir;
    platform.folder = dir.path();
    Program program(platform);
    platform.replies = {Reply{BoxAnswer::Ok, QStringLiteral("Anna"), {}}};
    program.start();
    Tavola *first = program.current();
    QVERIFY(QTest::qWaitForWindowActive(&first->window()));
    first->window().move(40, 40);
    first->window().resize(900, 700);
    platform.rng.draws = drawsFor(1, 1, 1, 0);
    first->cmdNext_Click();
    first->window().txtAnswer->setText(QStringLiteral("-1"));
    int enter = 13;
    first->txtAnswer_KeyPress(enter);
    QCOMPARE(first->window().lblScore->caption(), QStringLiteral("1"));

    platform.calls.clear();
    platform.replies = {Reply{BoxAnswer::Yes, {}, {}}, Reply{},
                        Reply{BoxAnswer::Ok, QStringLiteral("Bruno"), {}}};
    first->Next_Click();
    QVERIFY(!first->window().isVisible());
    QTRY_VERIFY(program.current() != first);
    Tavola *second = program.current();
    QVERIFY(QTest::qWaitForWindowActive(&second->window()));
    // The name was asked again and the record just saved is on show.
    QVERIFY(platform.calls[2].input);
    QCOMPARE(second->window().lblnome1->caption(), QStringLiteral("Bruno"));
    QCOMPARE(second->window().lblpunti->caption(), QStringLiteral("1\r\n"));
    QCOMPARE(second->window().lblnome->caption(), QStringLiteral("Anna\r\n"));
    QCOMPARE(second->window().lblScore->caption(), QStringLiteral("0"));
    QCOMPARE(second->window().lblScore1->caption(), QStringLiteral("0"));
    QCOMPARE(second->window().lblconto->caption(), QStringLiteral("00:15:00"));
    QCOMPARE(int(second->esatte), 0);
    QCOMPARE(second->window().size(), QSize(792, 554 + second->window().menuWidget()->height()));
    // Counting starts again from zero.
    platform.rng.draws = drawsFor(1, 1, 1, 0);
    second->cmdNext_Click();
    second->window().txtAnswer->setText(QStringLiteral("5"));
    second->txtAnswer_KeyPress(enter);
    QCOMPARE(second->window().lblScore1->caption(), QStringLiteral("1"));
    QCOMPARE(second->window().lblScore2->caption(), QStringLiteral("1"));
}

void EndingTest::closingTheWindowKeepsABeatenRecord_data()
{
    QTest::addColumn<int>("right");
    QTest::addColumn<bool>("saved");
    QTest::newRow("record beaten") << 3 << true;
    QTest::newRow("record not beaten") << 2 << false;
}

void EndingTest::closingTheWindowKeepsABeatenRecord()
{
    QFETCH(int, right);
    QFETCH(bool, saved);
    Game game;
    playTo(game, "2\r\n", "Bruno\r\n", right);
    game.tavola->show();
    QVERIFY(QTest::qWaitForWindowExposed(&game.w()));
    QVERIFY(game.w().close());
    // No goodbye: only the confirmation when there was something to save.
    QCOMPARE(game.platform.messageTexts(), saved ? QStringList{kSaved} : QStringList());
    QCOMPARE(bytesOf(game.scoreFile()), saved ? QByteArray("3\r\n") : QByteArray("2\r\n"));
    QCOMPARE(bytesOf(game.holderFile()), saved ? QByteArray("Anna\r\n") : QByteArray("Bruno\r\n"));
    QCOMPARE(game.platform.endedWith, std::optional<int>(0));
}

void EndingTest::aRecordRaisedMeanwhileStandsAndIsTold_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QString>("told");
    const QString byBruno = QStringLiteral(
        "Mentre giocavi, Bruno ha portato il record a 5 punti: il tuo punteggio non lo supera.");
    QTest::newRow("exit") << "exit" << "Bruno" << byBruno;
    QTest::newRow("closing the window") << "close" << "Bruno" << byBruno;
    QTest::newRow("new game") << "new" << "Bruno" << byBruno;
    QTest::newRow("a holder with no name")
        << "exit" << ""
        << "Mentre giocavi, il record è stato portato a 5 punti: il tuo punteggio non lo supera.";
}

void EndingTest::aRecordRaisedMeanwhileStandsAndIsTold()
{
    QFETCH(QString, ending);
    QFETCH(QString, holder);
    QFETCH(QString, told);
    Game game;
    playTo(game, "", "", 3);
    // A classmate's copy saves 5 after this game's last question.
    QVERIFY(saveToFolder(game.tavola->cartella, QStringLiteral("5"), holder).saved());
    if (ending == QLatin1String("exit")) {
        game.tavola->cmdExit_Click();
    } else if (ending == QLatin1String("close")) {
        game.tavola->show();
        QVERIFY(QTest::qWaitForWindowExposed(&game.w()));
        QVERIFY(game.w().close());
    } else {
        game.platform.replies = {Reply{BoxAnswer::Yes, {}, {}}};
        game.w().Next->trigger();
    }
    const QStringList texts = game.platform.messageTexts();
    QCOMPARE(texts.last(), told);
    QVERIFY(!texts.contains(kSaved));
    QCOMPARE(bytesOf(game.scoreFile()), QByteArray("5\r\n"));
    QCOMPARE(bytesOf(game.holderFile()), holder.toUtf8() + "\r\n");
    QCOMPARE(game.w().lblpunti->caption(), QStringLiteral("5\r\n"));
    QCOMPARE(game.w().lblnome->caption(), holder + QStringLiteral("\r\n"));
}

void EndingTest::theRecordShownFollowsTheFolder()
{
    Game game;
    playTo(game, "", "", 2);
    QVERIFY(saveToFolder(game.tavola->cartella, QStringLiteral("1"), QStringLiteral("Bruno"))
                .saved());
    game.tavola->cmdNext_Click();
    QCOMPARE(game.w().lblpunti->caption(), QStringLiteral("1\r\n"));
    QCOMPARE(game.w().lblnome->caption(), QStringLiteral("Bruno\r\n"));
    // Two right answers beat the class's record of 1 by one: announced.
    QCOMPARE(game.platform.messageTexts(), QStringList{QStringLiteral("E' record")});
}

void EndingTest::sessionEndSavesABeatenRecordAtOnce()
{
    // A logout or a shutdown: the session manager asks the program to save
    // (SIGTERM, which also ends it, is played on a real display).
    Game game;
    playTo(game, "1\r\n", "Bruno\r\n", 2);
    game.tavola->sessionEnding(false);
    // No box may wait for a pupil who is gone.
    QCOMPARE(game.platform.calls.size(), 0);
    QCOMPARE(bytesOf(game.scoreFile()), QByteArray("2\r\n"));
    QCOMPARE(bytesOf(game.holderFile()), QByteArray("Anna\r\n"));
    QVERIFY(!game.tavola->isOver());
}

void EndingTest::anEndingDuringTheSessionsSaveJoinsIt_data()
{
    QTest::addColumn<bool>("programEnds"); // SIGTERM; else the session manager
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QStringList>("told");
    const QString goodbye = QStringLiteral("Ciao Anna, alla prossima sfida!");
    QTest::newRow("the session manager, then Exit")
        << false << "exit" << QStringList{goodbye, kSaved};
    QTest::newRow("the session manager, then the clock")
        << false << "clock" << QStringList{goodbye, kSaved};
    QTest::newRow("the session manager, then closing the window")
        << false << "close" << QStringList{kSaved};
    QTest::newRow("the session manager, then NUOVO GIOCO confirmed")
        << false << "new" << QStringList{QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"), kSaved + QLatin1Char('"')};
    QTest::newRow("the session manager, then a run-time error")
        << false << "error" << QStringList{QStringLiteral("Errore di run-time '6':\n\nOverflow")};
    // The program ends once the record is saved: nobody is there to read a box.
    QTest::newRow("SIGTERM, then Exit") << true << "exit" << QStringList();
    QTest::newRow("SIGTERM, then the clock") << true << "clock" << QStringList();
    QTest::newRow("SIGTERM, then closing the window") << true << "close" << QStringList();
}

void EndingTest::anEndingDuringTheSessionsSaveJoinsIt()
{
    // The session ends while another copy holds the lock, so its save waits;
    // meanwhile the pupil ends the game. That ending waits for the save, and
    // the program ends only once the record is on disk.
    QFETCH(bool, programEnds);
    QFETCH(QString, ending);
    QFETCH(QStringList, told);
    Game game;
    playTo(game, "1\r\n", "Bruno\r\n", 2);
    game.platform.tick(900); // 00:00:00: the next tick ends the game
    game.tavola->show();
    QVERIFY(QTest::qWaitForWindowExposed(&game.w()));
    records::fs::Folder folder;
    QVERIFY(folder.open(game.platform.folder).ok());
    auto other = std::make_unique<records::fs::Lock>();
    records::fs::Result result;
    QCOMPARE(other->acquire(folder, records::lockFileName(), records::ownerFileName(), result),
             records::fs::Lock::State::Held);
    bool endedWhileWaiting = false;
    bool toldSaving = false; // what the session manager hears while the save waits
    game.platform.whilePaused = [&] {
        endedWhileWaiting = endedWhileWaiting || game.platform.endCount > 0 || game.restarts > 0;
        if (game.platform.pauses == 1)
            toldSaving = game.tavola->sessionEnding(false);
        if (game.platform.pauses == 2) {
            if (ending == QLatin1String("exit")) {
                game.tavola->cmdExit_Click();
            } else if (ending == QLatin1String("clock")) {
                game.platform.tick();
            } else if (ending == QLatin1String("new")) {
                game.platform.replies = {Reply{BoxAnswer::Yes, {}, {}}};
                game.w().Next->trigger();
            } else if (ending == QLatin1String("error")) {
                game.tavola->esatte = 32767; // one more right answer overflows
                game.w().txtAnswer->setText(QString::number(game.tavola->risultato));
                int enter = 13;
                game.tavola->txtAnswer_KeyPress(enter);
            } else {
                QVERIFY(!game.w().close());
            }
        }
        if (game.platform.pauses == 4)
            other.reset();
    };
    game.tavola->sessionEnding(programEnds);
    QVERIFY(!endedWhileWaiting);
    QVERIFY(toldSaving);
    QCOMPARE(game.platform.pauses, 4);
    QCOMPARE(bytesOf(game.scoreFile()), QByteArray("2\r\n"));
    QCOMPARE(bytesOf(game.holderFile()), QByteArray("Anna\r\n"));
    QCOMPARE(game.platform.messageTexts(), told);
    // The program ends once, or this game gives way to a new one.
    const bool newGame = ending == QLatin1String("new");
    QCOMPARE(game.platform.endCount, newGame ? 0 : 1);
    QCOMPARE(game.restarts, newGame ? 1 : 0);
}

QTEST_MAIN(EndingTest)
#include "tst_ending.moc"
