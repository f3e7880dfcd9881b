// segni: a practice game for the rule of signs.

#include "game/tavola.h"
#include "ui/layout.h"
#include "ui/qtplatform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    segni::chooseScale();
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("segni"));
#ifdef SEGNI_APP_ID
    QGuiApplication::setDesktopFileName(QStringLiteral(SEGNI_APP_ID));
#endif
    // The game decides when it ends (goodbye, record), not the last window.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    segni::installItalianTranslation();
    segni::installStyle();
    segni::installBundledFonts();
    segni::ui::installFonts();
    segni::followScreen();
    segni::followScreenReader();

    segni::QtPlatform platform;
    segni::Program program(platform);
    program.start();
    return QApplication::exec();
}
