// The game window `Tavola`: it owns the state of one game and every
// handler that drives it. The handlers live in one unit each:
//   startup.cpp   - loading, activation, resize, closing, the credits box
//   question.cpp  - a new question (the new-question button)
//   answer.cpp    - typing into the answer box and checking an answer
//   countdown.cpp - the fifteen-minute clock
//   ending.cpp    - the exit procedure, closing, the new-game request and
//                   the session's end
//   record.cpp    - the record shown, followed and saved
//   reasons.cpp   - why the record cannot be used, as the boxes say it
#pragma once

#include "base/numbers.h"
#include "base/task.h"
#include "records/recordstore.h"
#include "records/savetransaction.h"
#include "ui/mainwindow.h"
#include "ui/platform.h"

#include <QObject>

#include <functional>
#include <memory>

namespace segni {

class Random;

// ---- Rules the handlers follow, callable without a window ----

// The raw magnitudes of a question, never positive.
struct Draw
{
    Integer a = 0; // -10..0
    Integer b = 0; // -6..0
    Integer c = 0; // -4..0
};

struct Factors
{
    Integer first = 0;
    Integer second = 0;
    Integer third = 0;
};

Draw drawMagnitudes(Random &random);
Integer drawSignPattern(Random &random);
// Pattern 0: all negative; 1: the second positive; 2: the first and third
// positive.
Factors applySignPattern(const Draw &draw, Integer pattern);
Integer productOf(const Factors &factors);
// The record announcement is due when the right answers are exactly one
// more than the stored record.
bool announcesRecord(double storedRecord, double rightAnswers);
// Colour of band i (0 at the top, 255 at the bottom) of the gradient.
QRgb bandColour(const Draw &draw, int band);
// A number as spoken: "meno 7", "3".
QString spokenNumber(Integer value);
// The question as a screen reader speaks it, signs in words:
// "Quanto fa meno 7 per 3 per meno 2?".
QString spokenQuestion(const Factors &factors);

enum class KeyVerdict { Accept, Check, Refuse };
KeyVerdict classifyKey(int keyAscii);
// The typed answer: the lenient reading rounded to a whole number; empty
// when it could not be an Integer.
std::optional<Integer> readAnswer(const QString &text);
// The verdict and the counts as a screen reader speaks them:
// "Sbagliato, era meno 24. Esatte 0, errate 1, totali 1.".
QString spokenVerdict(bool right, Integer product, Integer esatte, Integer errate);

// Counts the clock down by one second.
void countDownOneSecond(Integer &ore, Integer &minuti, float &secondi);
QString clockText(Integer ore, Integer minuti, float secondi);
inline QString timeUpText()
{
    return QStringLiteral("00:00:00");
}

// Why the record cannot be used or saved, as the pupil's boxes say it.
QString reasonText(const records::StoreError &error);
QString reasonText(const records::SettingError &error);
// The first line of start-up's box when the record cannot be used, and
// when it can be read but not saved, with the reason.
QString unusableText(const records::StoreError &error);
QString readOnlyText(const records::StoreError &error);
// Start-up's box when saves cannot be kept apart.
QString unsafeText(const records::StoreError &error);
// The box of a save that failed.
QString saveFailedText(const records::StoreError &error);
// What the pupil is told of a record that cannot be used: its file or
// address.
QString unusableName(const records::StoreError &error);

// ---- The window ----

class Tavola : public QObject, public ui::WindowEvents
{
    Q_OBJECT
public:
    // Where the game stands. Playing: the pupil plays. Saving: a save the
    // session manager asked for is under way while the pupil plays on.
    // Ending: the game is ending (the exit procedure, closing the window, a
    // confirmed new game, the system's request to end); no other ending
    // begins, and each joins the save under way. Over: the program has
    // ended, or the window is being replaced by a new game's.
    enum class Phase { Playing, Saving, Ending, Over };

    // restart is called (later, from the event loop) when the pupil starts
    // a new game, from the menu or, where the program does not end (a web
    // page), after the end; it replaces this window with a fresh one.
    Tavola(Platform &platform, std::function<void()> restart);
    ~Tavola() override;

    // The window's controls. They are built on first use: start-up asks
    // for them only after the name prompt and the greeting, so the prompt
    // comes up as fast as the toolkit can show it.
    ui::MainWindow &window();
    Ticker &timer() { return *Timer1; }

    // The start-up sequence, which runs before the window is shown; loaded
    // is called at its end.
    void Form_Load(std::function<void()> loaded = {});
    // Shows the window and makes it active (which brings the first question).
    void show();
    Phase phase() const { return m_phase; }
    // Whether this game has ended (program ended or restart requested).
    bool isOver() const { return m_phase == Phase::Over; }

    // Window events
    void Form_Activate() override;
    void Form_Resize() override;
    bool Form_QueryClose() override;
    void txtAnswer_KeyPress(int &keyAscii) override;
    void cmdNext_Click() override;
    void cmdExit_Click() override;
    void Next_Click() override;
    void copy_Click(int index) override;
    void Timer1_Timer();
    // The desktop session is ending (logout, shutdown) or the system asks
    // the program to end: a beaten record is saved at once, without boxes.
    // When programEnds, the program ends once the record is saved. Returns
    // whether a save is still under way.
    bool sessionEnding(bool programEnds);

    // Procedures of the window
    void StartClock();

    // Game fields, all zero or empty when a game begins.
    Integer risultato = 0;
    Integer esatte = 0;
    Integer errate = 0;
    QString cartella;
    Integer ore = 0;
    Integer minuti = 0;
    float secondi = 0;

private:
    struct SaveUnderWay;

    // Runs a handler's flow; a run-time error is reported and ends the
    // program.
    void handle(Task<> flow);
    Task<> guarded(Task<> body);
    Task<> runTimeError(RuntimeError error);
    Answer<BoxAnswer> ask(MessageRequest request);
    Answer<QString> askText(QString prompt, QString title);

    Task<> load(std::function<void()> loaded);
    Task<> openRecord(records::RecordPlace place);
    Task<> newQuestion();
    void checkAnswer();
    Task<> exitProcedure();
    Task<> closeProcedure();
    Task<> newGameRequest();
    Task<> endAtSessionsEnd();
    // Starts an ending; false when one has begun already. The boxes open
    // now belong to handlers that never resume.
    bool beginEnding();

    double storedRecord();
    double score();
    // Shows a stored record pair in the window's record labels.
    void showRecord(const records::Record &record);
    // Follows the record's store: another copy may have saved a record. It
    // never waits: a store that answers later (a web server) is shown when
    // it answers.
    void refreshRecord();
    Task<> peekRecord(int version);
    // The platform's pauses, as the record's stores wait.
    records::Pause pause();
    // Starts saving this game's score and name.
    std::shared_ptr<SaveUnderWay> startSave();
    Task<> runSave(std::shared_ptr<SaveUnderWay> save, QString name);
    // Waits for the save under way, if there is one (a run-time error ends
    // the program only once the session's save is done).
    Task<> joinSave();
    // Saves the record when this game beat it, or joins the save under
    // way, and waits for it. What the pupil is then told: the given
    // confirmation, the record that another copy set meanwhile, or why the
    // save failed; nothing when the record was not beaten.
    Task<std::optional<MessageRequest>> settleRecord(QString confirmation);
    void endProgram(int status);

    Platform &m_platform;
    std::function<void()> m_restart;
    std::unique_ptr<ui::MainWindow> m_window;
    std::unique_ptr<Ticker> Timer1;
    Phase m_phase = Phase::Playing;
    bool m_activated = false;
    std::unique_ptr<records::RecordStore> m_store;
    // Why this game's record cannot be saved, found at start-up: what
    // cannot be used, and why.
    std::optional<std::pair<QString, QString>> m_noSave;
    // The stored pair as last read (none when it cannot be used).
    std::optional<records::Record> m_seen;
    // Bumped as each save begins and ends: a refresh asked for before then
    // is older than what the window shows by the time it comes.
    int m_recordVersion = 0;
    bool m_peeking = false;
    std::shared_ptr<SaveUnderWay> m_save;
    // The handlers' flows; those still waiting in a box go with the window.
    Flows m_flows;
};

// The program: one game window at a time, replaced on a new game.
class Program : public QObject
{
    Q_OBJECT
public:
    explicit Program(Platform &platform);
    ~Program() override;

    // Loads the first game window and shows it.
    void start();
    Tavola *current() const { return m_current; }

private:
    void restart();

    Platform &m_platform;
    Tavola *m_current = nullptr;
};

} // namespace segni
