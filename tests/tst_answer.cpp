// Typing into the answer box and checking answers.

#include "fakeplatform.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QTest>

using namespace segni;
using namespace segni::testing;

class AnswerTest : public QObject
{
    Q_OBJECT
private slots:
    void boxAcceptsOnlyDigitsMinusAndBackspace_data();
    void boxAcceptsOnlyDigitsMinusAndBackspace();
    void clipboardShortcutsDoNothing_data();
    void clipboardShortcutsDoNothing();
    void textFromElsewhereGoesThroughTheFilter_data();
    void textFromElsewhereGoesThroughTheFilter();
    void onlyEnterChecks_data();
    void onlyEnterChecks();
    void editingKeysKeepTheirFunction();
    void answersAreReadLikeThePupilTypedThem_data();
    void answersAreReadLikeThePupilTypedThem();
    void wrongAnswerRevealsTheProductAndCountsWrong();
    void rightAnswerLeavesTheWrongCounterAlone();
    void enterWithNewQuestionButtonEnabledBringsTheNextQuestion();
    void keypadEnterChecksTheAnswer();
    void pastedTextIsReadLenientlyAndCannotOverflow_data();
    void pastedTextIsReadLenientlyAndCannotOverflow();
    void wholeGameByKeyboardAddsUp();
};

void AnswerTest::boxAcceptsOnlyDigitsMinusAndBackspace_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("digits") << "24" << "24";
    QTest::newRow("minus anywhere, any number of times") << "1-2-" << "1-2-";
    QTest::newRow("letters refused") << "a1b2" << "12";
    QTest::newRow("blank refused") << "1 2" << "12";
    QTest::newRow("decimal point and comma refused") << "1.5,3" << "153";
    QTest::newRow("plus refused") << "+4" << "4";
    QTest::newRow("accented letter refused") << QStringLiteral("è7") << "7";
    QTest::newRow("non-Latin letters and emoji refused")
        << QString::fromUtf8("ж\xF0\x9F\x98\x80" "5") << "5";
    QTest::newRow("escape and delete characters refused") << QStringLiteral("\x1b" "3\x7f") << "3";
    QTest::newRow("fifth character refused by the box") << "12345" << "1234";
}

void AnswerTest::boxAcceptsOnlyDigitsMinusAndBackspace()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    Game game;
    game.start();
    for (QChar c : typed) {
        // What a keyboard sends for the character: its key where it has
        // one of its own, and always its text.
        const ushort u = c.toUpper().unicode();
        const Qt::Key key = u < 128 ? Qt::Key(u) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, game.w().txtAnswer, key, QString(c), Qt::NoModifier);
    }
    QCOMPARE(game.w().txtAnswer->text(), shown);
    QTest::keyClick(game.w().txtAnswer, Qt::Key_Backspace);
    QCOMPARE(game.w().txtAnswer->text(), shown.left(shown.size() - 1));
}

void AnswerTest::clipboardShortcutsDoNothing_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Ctrl+C") << int(Qt::Key_C);
    QTest::newRow("Ctrl+V") << int(Qt::Key_V);
    QTest::newRow("Ctrl+X") << int(Qt::Key_X);
    QTest::newRow("Ctrl+A") << int(Qt::Key_A);
}

void AnswerTest::clipboardShortcutsDoNothing()
{
    QFETCH(int, key);
    Game game;
    game.start();
    QApplication::clipboard()->setText(QStringLiteral("99"));
    QTest::keyClicks(game.w().txtAnswer, QStringLiteral("12"));
    game.w().txtAnswer->selectAll();
    QTest::keyClick(game.w().txtAnswer, Qt::Key(key), Qt::ControlModifier);
    QCOMPARE(game.w().txtAnswer->text(), QStringLiteral("12"));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("99"));
}

void AnswerTest::textFromElsewhereGoesThroughTheFilter_data()
{
    QTest::addColumn<QString>("route");
    QTest::addColumn<QString>("payload");
    QTest::addColumn<QString>("shown");
    // The box holds 12 beforehand.
    QTest::newRow("input method commits letters") << "commit" << "ab" << "12";
    QTest::newRow("input method commit keeps digits and minus") << "commit" << "a-3b" << "12-3";
    QTest::newRow("input method commit stops at four") << "commit" << "345" << "1234";
    QTest::newRow("input method replaces the text") << "replace" << "" << "12";
    QTest::newRow("drop") << "drop" << "x5" << "12";
}

void AnswerTest::textFromElsewhereGoesThroughTheFilter()
{
    QFETCH(QString, route);
    QFETCH(QString, payload);
    QFETCH(QString, shown);
    Game game;
    game.start();
    QLineEdit *box = game.w().txtAnswer;
    QTest::keyClicks(box, QStringLiteral("12"));
    if (route == QLatin1String("drop")) {
        QMimeData data;
        data.setText(payload);
        const QPointF at = QRectF(box->rect()).center();
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &drop);
    } else {
        QInputMethodEvent event(QStringLiteral("x"), {});
        if (route == QLatin1String("replace"))
            event.setCommitString(payload, -2, 2);
        else
            event.setCommitString(payload);
        QApplication::sendEvent(box, &event);
    }
    QCOMPARE(box->text(), shown);
    QCOMPARE(int(game.tavola->esatte + game.tavola->errate), 0);
}

void AnswerTest::onlyEnterChecks_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("checks");
    QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier) << true;
    QTest::newRow("Shift+Enter") << int(Qt::Key_Return) << int(Qt::ShiftModifier) << true;
    QTest::newRow("Ctrl+Enter") << int(Qt::Key_Return) << int(Qt::ControlModifier) << false;
    QTest::newRow("Ctrl+keypad Enter")
        << int(Qt::Key_Enter) << int(Qt::ControlModifier | Qt::KeypadModifier) << false;
    QTest::newRow("Alt+Enter") << int(Qt::Key_Return) << int(Qt::AltModifier) << false;
    QTest::newRow("Ctrl+M") << int(Qt::Key_M) << int(Qt::ControlModifier) << false;
}

void AnswerTest::onlyEnterChecks()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, checks);
    Game game;
    game.start();
    QTest::keyClicks(game.w().txtAnswer, QStringLiteral("12"));
    QTest::keyClick(game.w().txtAnswer, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(int(game.tavola->esatte + game.tavola->errate), checks ? 1 : 0);
    QCOMPARE(game.w().txtAnswer->text(), QStringLiteral("12"));
}

void AnswerTest::editingKeysKeepTheirFunction()
{
    Game game;
    game.start();
    QLineEdit *box = game.w().txtAnswer;
    QTest::keyClicks(box, QStringLiteral("123"));
    QTest::keyClick(box, Qt::Key_Home);
    QTest::keyClick(box, Qt::Key_Delete);
    QCOMPARE(box->text(), QStringLiteral("23"));
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClick(box, Qt::Key_Left);
    QTest::keyClicks(box, QStringLiteral("-"));
    QCOMPARE(box->text(), QStringLiteral("2-3"));
}

void AnswerTest::answersAreReadLikeThePupilTypedThem_data()
{
    QTest::addColumn<QList<double>>("draws");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("right");
    // Product of drawsFor(4, 3, 1, 1) is -4 x 3 x -1 = 12.
    const QList<double> twelve = drawsFor(4, 3, 1, 1);
    const QList<double> minusTwelve = drawsFor(4, 3, 1, 0);
    const QList<double> zero{0.0, 0.3, 0.3, 0.2};
    QTest::newRow("right positive") << twelve << "12" << true;
    QTest::newRow("sign wrong") << twelve << "-12" << false;
    QTest::newRow("right negative") << minusTwelve << "-12" << true;
    QTest::newRow("stops at the second minus") << twelve << "12-3" << true;
    QTest::newRow("empty box is 0, wrong") << twelve << "" << false;
    QTest::newRow("empty box is 0, right for 0") << zero << "" << true;
    QTest::newRow("lone minus is 0") << zero << "-" << true;
    QTest::newRow("two minus signs is 0") << minusTwelve << "--12" << false;
}

void AnswerTest::answersAreReadLikeThePupilTypedThem()
{
    QFETCH(QList<double>, draws);
    QFETCH(QString, typed);
    QFETCH(bool, right);
    Game game;
    game.start(draws);
    game.answer(typed);
    QCOMPARE(int(game.tavola->esatte), right ? 1 : 0);
    QCOMPARE(int(game.tavola->errate), right ? 0 : 1);
    QCOMPARE(game.w().txtAnswer->text(), typed); // left as typed
}

void AnswerTest::wrongAnswerRevealsTheProductAndCountsWrong()
{
    Game game;
    game.start(drawsFor(4, 3, 2, 0)); // -24
    game.answer(QStringLiteral("24"));
    ui::MainWindow &w = game.w();
    QCOMPARE(w.lblMessage->caption(), QStringLiteral("Sbagliato!! -24"));
    QCOMPARE(w.lblScore1->caption(), QStringLiteral("1"));
    QCOMPARE(w.lblScore->caption(), QStringLiteral("0"));
    QCOMPARE(w.lblScore2->caption(), QStringLiteral("1"));
    QVERIFY(w.cmdNext->isEnabled());
    QCOMPARE(w.focusWidget(), static_cast<QWidget *>(w.cmdNext));
    QCOMPARE(int(game.tavola->risultato), -24); // the question stays
}

void AnswerTest::rightAnswerLeavesTheWrongCounterAlone()
{
    Game game;
    game.start(drawsFor(4, 3, 2, 0));
    game.w().lblScore1->setCaption(QStringLiteral("untouched"));
    game.answer(QStringLiteral("-24"));
    ui::MainWindow &w = game.w();
    QCOMPARE(w.lblMessage->caption(), QStringLiteral("Esatto. Sei proprio in gamba!"));
    QCOMPARE(w.lblScore->caption(), QStringLiteral("1"));
    QCOMPARE(w.lblScore2->caption(), QStringLiteral("1"));
    QCOMPARE(w.lblScore1->caption(), QStringLiteral("untouched"));
    QVERIFY(w.cmdNext->isEnabled());
}

void AnswerTest::enterWithNewQuestionButtonEnabledBringsTheNextQuestion()
{
    Game game;
    game.start(drawsFor(4, 3, 2, 0));
    game.answer(QStringLiteral("-24"));
    // The pupil clicks back into the answer box and presses Enter: the
    // default button takes it, so the answer is not counted twice.
    game.platform.rng.draws = drawsFor(2, 2, 2, 1);
    game.w().txtAnswer->setFocus();
    QTest::keyClick(game.w().txtAnswer, Qt::Key_Return);
    QCOMPARE(int(game.tavola->esatte), 1);
    QCOMPARE(game.w().lblScore2->caption(), QStringLiteral("1"));
    QCOMPARE(int(game.tavola->risultato), 8);
    QCOMPARE(game.w().txtAnswer->text(), QString());
    // And Enter on the focused button itself does the same.
    game.answer(QStringLiteral("8"));
    game.platform.rng.draws = drawsFor(1, 1, 1, 0);
    QTest::keyClick(game.w().cmdNext, Qt::Key_Return);
    QCOMPARE(int(game.tavola->risultato), -1);
}

void AnswerTest::keypadEnterChecksTheAnswer()
{
    Game game;
    game.start(drawsFor(4, 3, 2, 0));
    QTest::keyClick(game.w().txtAnswer, Qt::Key_Minus, Qt::KeypadModifier);
    QTest::keyClicks(game.w().txtAnswer, QStringLiteral("24"), Qt::KeypadModifier);
    QTest::keyClick(game.w().txtAnswer, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(int(game.tavola->esatte), 1);
}

void AnswerTest::pastedTextIsReadLenientlyAndCannotOverflow_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<int>("esatte");
    QTest::newRow("plain number") << "-24" << "-24" << 1;
    QTest::newRow("with blanks") << " -2 4" << " -2 " << 0;
    QTest::newRow("long digits cut by the box") << "99999999" << "9999" << 0;
    QTest::newRow("decimal point read") << "-24.5" << "-24." << 1;
    QTest::newRow("words") << "ventiquattro" << "vent" << 0;
}

void AnswerTest::pastedTextIsReadLenientlyAndCannotOverflow()
{
    QFETCH(QString, clipboard);
    QFETCH(QString, kept);
    QFETCH(int, esatte);
    Game game;
    game.start(drawsFor(4, 3, 2, 0)); // -24
    QApplication::clipboard()->setText(clipboard);
    QTest::keyClick(game.w().txtAnswer, Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(game.w().txtAnswer->text(), kept);
    QTest::keyClick(game.w().txtAnswer, Qt::Key_Return);
    QCOMPARE(int(game.tavola->esatte), esatte);
    QCOMPARE(int(game.tavola->errate), 1 - esatte);
    QVERIFY(!game.platform.endedWith);
}

void AnswerTest::wholeGameByKeyboardAddsUp()
{
    Game game;
    game.start(drawsFor(2, 3, 4, 0)); // -24
    struct Step { QList<double> next; QString typed; };
    const QList<Step> steps{
        {drawsFor(5, 1, 1, 1), QStringLiteral("-24")}, // right; next 5
        {drawsFor(3, 3, 3, 2), QStringLiteral("-5")},  // wrong; next -27
        {drawsFor(1, 2, 3, 0), QStringLiteral("-27")}, // right; next -6
        {{}, QStringLiteral("6")},                     // wrong
    };
    for (const Step &step : steps) {
        game.answer(step.typed);
        game.platform.rng.draws = step.next;
        QTest::keyClick(game.w().focusWidget(), Qt::Key_Return);
    }
    QCOMPARE(game.w().lblScore->caption(), QStringLiteral("2"));
    QCOMPARE(game.w().lblScore1->caption(), QStringLiteral("2"));
    QCOMPARE(game.w().lblScore2->caption(), QStringLiteral("4"));
}

QTEST_MAIN(AnswerTest)
#include "tst_answer.moc"
