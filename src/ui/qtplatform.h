// The program's own link to the outside world: QMessageBox, QInputDialog,
// QTimer, the system clock and the user's data folder.
#pragma once

#include "platform.h"

#include "game/random.h"

namespace segni {

class QtPlatform : public Platform
{
public:
    BoxAnswer messageBox(QWidget *parent, const MessageRequest &request) override;
    QString inputBox(QWidget *parent, const QString &prompt, const QString &title) override;
    std::unique_ptr<Ticker> createTicker(std::function<void()> onTick) override;
    int secondsSinceMidnight() override;
    QString shortDate() override;
    Random &random() override;
    records::RecordFolder recordFolder() override;
    void pause(int ms) override;
    void endProgram(int status) override;

private:
    MixingRandom m_random;
};

// Qt's own texts (box buttons and the like) in Italian, whatever the
// system's language.
void installItalianTranslation();

// The application style: the platform's own, except that box buttons carry
// no icons. Looking those icons up in the icon theme would hold up the name
// prompt, the first thing the pupil sees.
void installStyle();

} // namespace segni
