// The game window `Tavola` as a Qt window: it builds every control from
// the layout tables and passes each event the game handles to the game.
#pragma once

#include "widgets.h"

#include <QMainWindow>

class QAction;
class QMenu;

namespace segni::ui {

// The events of the window that the game handles.
class WindowEvents
{
public:
    virtual ~WindowEvents() = default;
    virtual void Form_Activate() = 0;
    virtual void Form_Resize() = 0;
    // Closing from the frame; returns whether the window may close.
    virtual bool Form_QueryClose() = 0;
    // A typed character; the handler sets keyAscii to 0 to refuse it.
    virtual void txtAnswer_KeyPress(int &keyAscii) = 0;
    virtual void cmdNext_Click() = 0;
    virtual void cmdExit_Click() = 0;
    virtual void Next_Click() = 0;
    virtual void copy_Click(int index) = 0;
};

// The character code a key press in the answer box types, or -1 for keys
// that type nothing (arrows, Delete, Home, End, Tab, function keys...).
// Enter gives 13, Backspace 8, Ctrl with a letter its control code (but
// never 8 or 13).
int typedCharacter(int key, Qt::KeyboardModifiers modifiers, const QString &text);

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(WindowEvents &events);

    Label *label(const char *name) const;

    // The controls the handlers read and write, by their design names.
    Surface *surface = nullptr;
    AnswerBox *txtAnswer = nullptr;
    PictureButton *cmdNext = nullptr;
    PictureButton *cmdExit = nullptr;
    QLabel *Image1 = nullptr;
    Label *lblNum1 = nullptr;
    Label *lblNum2 = nullptr;
    Label *lblnum5 = nullptr;
    Label *lblMessage = nullptr;
    Label *lblconto = nullptr;
    Label *lblScore = nullptr;
    Label *lblScore1 = nullptr;
    Label *lblScore2 = nullptr;
    Label *lblpunti = nullptr;
    Label *lblnome = nullptr;
    Label *lblnome1 = nullptr;
    QAction *Next = nullptr;
    QAction *copy = nullptr;

    // Sets the keyboard focus to the first enabled control in tab order.
    void focusFirstControl();

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenu();
    bool answerKeyPress(class QKeyEvent *event);
    void answerInputMethod(class QInputMethodEvent *event);

    WindowEvents &m_events;
    std::vector<Label *> m_labels;
};

} // namespace segni::ui
