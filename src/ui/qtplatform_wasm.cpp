// A web page (Qt for WebAssembly): the page waits in one box at a time,
// the program never ends, and the fonts travel with the page.

#include "qtplatform.h"

#include "layout.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace segni {

namespace {

// What the page shows once a game has ended: a page cannot close itself,
// so it says that the game is over and offers another one.
class ClosingPage : public QWidget
{
public:
    ClosingPage()
    {
        setObjectName(QStringLiteral("closingPage"));
        setWindowTitle(applicationTitle());
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        // The text in the page's own colours; the button keeps the
        // platform's, as the boxes' buttons do.
        setAutoFillBackground(true);
        QPalette colours = palette();
        colours.setColor(QPalette::Window, ui::kClosingPage.background.toColor());
        colours.setColor(QPalette::WindowText, ui::kClosingPage.text.toColor());
        setPalette(colours);

        auto *text = new QLabel(QStringLiteral("Il gioco è finito."), this);
        text->setObjectName(QStringLiteral("closingText"));
        text->setFont(ui::makeFont(ui::kClosingPage.font));
        text->setAlignment(Qt::AlignCenter);
        m_again = new QPushButton(QStringLiteral("NUOVO GIOCO"), this);
        m_again->setObjectName(QStringLiteral("newGame"));
        m_again->setAutoDefault(true);

        auto *layout = new QVBoxLayout(this);
        layout->addStretch();
        layout->addWidget(text);
        layout->addSpacing(24);
        layout->addWidget(m_again, 0, Qt::AlignHCenter);
        layout->addStretch();

        connect(m_again, &QPushButton::clicked, this, [this] {
            hide();
            if (m_newGame)
                std::exchange(m_newGame, nullptr)();
        });
    }

    void showFor(std::function<void()> newGame)
    {
        m_newGame = std::move(newGame);
        showFullScreen();
        activateWindow();
        m_again->setFocus();
    }

private:
    QPushButton *m_again = nullptr;
    std::function<void()> m_newGame;
};

} // namespace

void QtPlatform::runOverOpenBoxes(std::function<void()> action)
{
    // A box opened from a handler that runs inside another box's wait
    // would freeze the page: the open box goes first.
    closeOpenBoxesThen(std::move(action));
}

void QtPlatform::endProgram(int, std::function<void()> newGame)
{
    for (QWidget *window : QApplication::topLevelWidgets())
        window->hide();
    static ClosingPage *page = new ClosingPage;
    page->showFor(std::move(newGame));
}

void QtPlatform::whenSessionEnds(std::function<void(bool)>)
{
    // A page is not told when the browser's session ends.
}

void installBundledFonts()
{
    const QDir fonts(QStringLiteral(":/segni-fonts"));
    for (const QString &file : fonts.entryList(QDir::Files))
        QFontDatabase::addApplicationFont(fonts.filePath(file));
}

} // namespace segni
