// The game window `Tavola`: it owns the state of one game and every
// handler that drives it. The handlers live in one unit each:
//   startup.cpp   - loading, activation, resize, closing, the credits box
//   question.cpp  - a new question (the new-question button)
//   answer.cpp    - typing into the answer box and checking an answer
//   countdown.cpp - the fifteen-minute clock
//   ending.cpp    - the exit procedure and the new-game request
#pragma once

#include "numbers.h"
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

// Why the record files could not be used, for the pupil's boxes.
QString reasonText(const records::FileError &error);

// ---- The window ----

class Tavola : public QObject, public ui::WindowEvents
{
    Q_OBJECT
public:
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

    // The start-up sequence, run once before the window is shown.
    void Form_Load();
    // Shows the window and makes it active (which brings the first question).
    void show();
    // Whether this game has ended (program ended or restart requested).
    bool isOver() const { return m_over; }

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
    // When programEnds, the program ends right after.
    void sessionEnding(bool programEnds);

    // Procedures of the window
    void StartClock();
    QString GetSystemDir();
    QString Leggifiletxt(const QString &nomefile);

    // Game fields, all zero or empty when a game begins.
    Integer risultato = 0;
    Integer esatte = 0;
    Integer errate = 0;
    QString cartella;
    Integer ore = 0;
    Integer minuti = 0;
    float secondi = 0;

private:
    BoxAnswer box(const MessageRequest &request);
    void checkAnswer();
    double storedRecord();
    double score();
    // Shows a stored record pair in the window's record labels.
    void showRecord(const records::Record &record);
    // Follows the record folder: another copy may have saved a record.
    void refreshRecord();
    // Saves the record when this game beat it, at once. What the pupil is
    // then told: the given confirmation, the record that another copy set
    // meanwhile, or why the save failed; nothing when the record was not
    // beaten.
    std::optional<MessageRequest> saveBeatenRecord(const QString &confirmation);
    void endProgram(int status);
    // Runs a handler body; a run-time error is reported and ends the
    // program.
    void guarded(const std::function<void()> &body);

    Platform &m_platform;
    std::function<void()> m_restart;
    std::unique_ptr<ui::MainWindow> m_window;
    std::unique_ptr<Ticker> Timer1;
    bool m_activated = false;
    // The record folder was set by the administrator for every account.
    bool m_folderShared = false;
    // Why this game's record cannot be saved, found at start-up.
    std::optional<records::FileError> m_noSave;
    // The stored pair as last read from the folder (none when it cannot be
    // used).
    std::optional<records::Record> m_seen;
    // A save is under way (it may wait for another copy's).
    bool m_saving = false;
    // The system asked the program to end while a save was under way.
    bool m_endWhenSaved = false;
    // Set once the game starts ending (exit procedure, closing, or a
    // confirmed new game): no second ending may begin.
    bool m_ending = false;
    // Set once the program has ended or the window has been replaced:
    // handlers waiting in a box must not carry on.
    bool m_over = false;
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
