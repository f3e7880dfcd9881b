// The floor the game's start-up is measured against: a bare Qt Widgets
// window of the game's size, with a menu bar and as many plain labels,
// buttons and line edits as the game has, shown and activated. Nothing else.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    auto *central = new QWidget(&window);
    central->setMinimumSize(792, 554);
    window.setCentralWidget(central);
    QMenu *first = window.menuBar()->addMenu(QStringLiteral("Menu 1"));
    first->addAction(QStringLiteral("Voce 1"));
    QMenu *second = window.menuBar()->addMenu(QStringLiteral("Menu 2"));
    second->addAction(QStringLiteral("Voce 2"));
    window.menuBar()->addAction(QStringLiteral("Menu 3"));
    window.menuBar()->addAction(QStringLiteral("Menu 4"));
    for (int i = 0; i < 27; ++i) { // 26 labels and the picture
        auto *label = new QLabel(QStringLiteral("Etichetta %1").arg(i), central);
        label->move(10 + (i % 6) * 120, 10 + (i / 6) * 60);
    }
    for (int i = 0; i < 2; ++i)
        (new QPushButton(QStringLiteral("Pulsante %1").arg(i), central))->move(100 + i * 300, 400);
    (new QLineEdit(central))->move(600, 10);
    window.show();
    window.activateWindow();
    return QApplication::exec();
}
