// Loading the game window: the prompts, the greeting, what the window shows
// before the first question, and the window-level events.

#include "fakeplatform.h"

#include <QDir>
#include <QTest>

using namespace segni;
using namespace segni::testing;

class StartupTest : public QObject
{
    Q_OBJECT
private slots:
    void asksTheNameThenGreetsWithExactTexts();
    void greetingAndLabelTakeAnyName_data();
    void greetingAndLabelTakeAnyName();
    void timerIsStoppedAroundThePromptsAndRunsAfter();
    void windowShowsClockCountersAndEmptyRecordOnFirstRun();
    void firstDisplayReplacesTheDesignTitle();
    void minimisedWindowKeepsItsTitle();
    void creditsEntryShowsTheFreewareMessage();
    void aRunTimeErrorIsReportedAndEndsTheProgram();
};

void StartupTest::asksTheNameThenGreetsWithExactTexts()
{
    Game game;
    game.platform.replies = {Reply{BoxAnswer::Ok, QStringLiteral("Anna"), {}}};
    game.tavola->Form_Load();
    QCOMPARE(game.platform.calls.size(), 2);
    const BoxCall &prompt = game.platform.calls[0];
    QVERIFY(prompt.input);
    QCOMPARE(prompt.text, QStringLiteral("Come ti chiami?"));
    QCOMPARE(prompt.title, QStringLiteral("Rovid edi do rerudiru da razuzo razozezo"));
    const BoxCall &greeting = game.platform.calls[1];
    QVERIFY(!greeting.input);
    QCOMPARE(greeting.text, QStringLiteral(" Anna vediamo se sei un vero campione  "));
    QCOMPARE(greeting.title, QStringLiteral("Sei pronto per il record? Buona fortuna"));
    QCOMPARE(greeting.icon, BoxIcon::Exclamation);
    QCOMPARE(greeting.buttons, BoxButtons::Ok);
    // The first reseeding comes from the clock, before the prompt.
    QCOMPARE(game.platform.rng.reseeds, QList<int>{game.platform.clock});
}

void StartupTest::greetingAndLabelTakeAnyName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("cancelled or empty") << QString();
    QTest::newRow("accented") << QStringLiteral("Niccolò Çelik");
    QTest::newRow("non-Latin") << QStringLiteral("Анна 李明");
    QTest::newRow("emoji") << QString::fromUtf8("Leo \xF0\x9F\xA6\x81");
    QTest::newRow("markup is shown as typed") << QStringLiteral("<b>Ugo</b> & co");
    QTest::newRow("hundreds of characters") << QString(600, QLatin1Char('m'));
}

void StartupTest::greetingAndLabelTakeAnyName()
{
    QFETCH(QString, name);
    Game game;
    game.platform.replies = {Reply{BoxAnswer::Ok, name, {}}};
    game.tavola->Form_Load();
    QCOMPARE(game.platform.calls[1].text,
             QLatin1Char(' ') + name + QStringLiteral(" vediamo se sei un vero campione  "));
    QCOMPARE(game.w().lblnome1->caption(), name);
    QCOMPARE(game.w().lblnome1->text(), name); // plain text, never markup
    if (name.isEmpty())
        QCOMPARE(game.w().lblnome1->size(), game.w().lblnome1->designSize());
}

void StartupTest::timerIsStoppedAroundThePromptsAndRunsAfter()
{
    Game game;
    bool enabledDuringPrompt = true;
    bool enabledDuringGreeting = true;
    game.platform.replies = {
        Reply{BoxAnswer::Ok, QStringLiteral("Anna"),
              [&] {
                  enabledDuringPrompt = game.platform.ticker->isEnabled();
                  game.platform.tick(5);
              }},
        Reply{BoxAnswer::Ok, {}, [&] { enabledDuringGreeting = game.platform.ticker->isEnabled(); }},
    };
    game.tavola->Form_Load();
    QVERIFY(!enabledDuringPrompt);
    QVERIFY(!enabledDuringGreeting);
    QVERIFY(game.tavola->timer().isEnabled());
    QCOMPARE(game.w().lblconto->caption(), QStringLiteral("00:15:00"));
}

void StartupTest::windowShowsClockCountersAndEmptyRecordOnFirstRun()
{
    Game game;
    game.load();
    ui::MainWindow &w = game.w();
    QCOMPARE(w.lblconto->caption(), QStringLiteral("00:15:00"));
    QCOMPARE(w.lblScore->caption(), QStringLiteral("0"));
    QCOMPARE(w.lblScore1->caption(), QStringLiteral("0"));
    QCOMPARE(w.lblScore2->caption(), QStringLiteral("0"));
    QCOMPARE(w.lblnome1->caption(), QStringLiteral("Anna"));
    QCOMPARE(w.lblpunti->caption(), QString());
    QCOMPARE(w.lblnome->caption(), QString());
    QCOMPARE(game.tavola->cartella, game.platform.folder + QDir::separator());
    QVERIFY(!w.cmdNext->isEnabled());
    QCOMPARE(w.txtAnswer->text(), QString());
}

void StartupTest::firstDisplayReplacesTheDesignTitle()
{
    Game game;
    game.load();
    QCOMPARE(game.w().windowTitle(),
             QStringLiteral(" Rododarev ozo du revirize ro zuduro derivuro"));
    game.tavola->show();
    QVERIFY(QTest::qWaitForWindowExposed(&game.w()));
    QCOMPARE(game.w().windowTitle(), QStringLiteral("Ziverur adi v edizor arizadev"));
}

void StartupTest::minimisedWindowKeepsItsTitle()
{
    Game game;
    game.load();
    game.tavola->show();
    QVERIFY(QTest::qWaitForWindowExposed(&game.w()));
    game.w().setWindowTitle(QStringLiteral("changed while minimised?"));
    game.w().setWindowState(Qt::WindowMinimized);
    game.tavola->Form_Resize();
    QCOMPARE(game.w().windowTitle(), QStringLiteral("changed while minimised?"));
    game.w().setWindowState(Qt::WindowNoState);
    game.tavola->Form_Resize();
    QCOMPARE(game.w().windowTitle(), QStringLiteral("Ziverur adi v edizor arizadev"));
}

void StartupTest::creditsEntryShowsTheFreewareMessage()
{
    Game game;
    game.start();
    game.w().copy->trigger();
    QCOMPARE(game.platform.messageTexts(), QStringList{QStringLiteral("Programma freeware")});
    QVERIFY(!game.platform.endedWith);
}

void StartupTest::aRunTimeErrorIsReportedAndEndsTheProgram()
{
    Game game;
    game.start(drawsFor(1, 1, 1, 0)); // product -1
    game.tavola->esatte = 32767;
    game.answer(QStringLiteral("-1"));
    QCOMPARE(game.platform.messageTexts().size(), 1);
    QVERIFY(game.platform.messageTexts().first().contains(QStringLiteral("Overflow")));
    QCOMPARE(game.platform.endedWith, std::optional<int>(1));
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
