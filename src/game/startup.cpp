// Loading the game window, its window-level events and the credits box.

#include "tavola.h"

#include "random.h"
#include "records/recordstore.h"
#include "records/recordweb.h"

namespace segni {

namespace {

// The first line of the start-up boxes about the record's place: a folder,
// or a record on the school's web server.
QString placeUnusable(const QString &cartella)
{
    return records::isRecordUrl(cartella)
        ? QStringLiteral("Non riesco a usare il record sul server %1").arg(cartella)
        : QStringLiteral("Non riesco a usare la cartella dei record %1").arg(cartella);
}

QString placeReadOnly(const QString &cartella)
{
    return records::isRecordUrl(cartella)
        ? QStringLiteral("Sul server %1 non si può scrivere il record").arg(cartella)
        : QStringLiteral("Nella cartella dei record %1 non si può scrivere").arg(cartella);
}

const char *const kPlayingTitle = "Ziverur adi v edizor arizadev";
}

Tavola::Tavola(Platform &platform, std::function<void()> restart)
    : m_platform(platform)
    , m_restart(std::move(restart))
    , Timer1(platform.createTicker([this] { Timer1_Timer(); }))
{
}

Tavola::~Tavola() = default;

ui::MainWindow &Tavola::window()
{
    if (!m_window)
        m_window = std::make_unique<ui::MainWindow>(*this);
    return *m_window;
}

void Tavola::guarded(const std::function<void()> &body)
{
    try {
        body();
    } catch (const RuntimeError &error) {
        if (m_over)
            return;
        m_ending = true;
        box({QStringLiteral("Errore di run-time '%1':\n\n%2").arg(error.code()).arg(error.message()),
             QString(), BoxIcon::Exclamation});
        endProgram(1);
    }
}

BoxAnswer Tavola::box(const MessageRequest &request)
{
    return m_platform.messageBox(m_window && m_window->isVisible() ? m_window.get() : nullptr,
                                 request);
}

void Tavola::endProgram(int status)
{
    if (m_over)
        return;
    m_over = true;
    m_ending = true;
    Timer1->setEnabled(false);
    m_platform.endProgram(status, m_restart);
}

void Tavola::Form_Load()
{
    guarded([this] {
        m_platform.random().reseed(m_platform.secondsSinceMidnight());
        Timer1->setEnabled(false);

        const QString name = m_platform.inputBox(
            nullptr, QStringLiteral("Come ti chiami?"),
            QStringLiteral("Rovid edi do rerudiru da razuzo razozezo"));
        if (m_over)
            return;
        box({QLatin1Char(' ') + name + QStringLiteral(" vediamo se sei un vero campione  "),
             QStringLiteral("Sei pronto per il record? Buona fortuna"), BoxIcon::Exclamation});
        if (m_over)
            return;
        window().lblnome1->setCaption(name);

        StartClock();

        const records::RecordFolder where = m_platform.recordFolder();
        m_folderShared = where.shared;
        records::Loaded loaded;
        if (where.problem) {
            loaded.error = where.problem;
        } else {
            cartella = records::withTrailingSeparator(where.path);
            loaded = records::loadRecord(cartella, !where.shared);
        }
        if (loaded.error) {
            // Without usable record files the game still runs; the record
            // counts as 0, and the files are left as they are.
            m_noSave = loaded.error;
            box({where.problem
                     ? QStringLiteral("Non riesco a usare l'impostazione della cartella dei record"
                                      " %1\n(%2).\n\nSi gioca lo stesso, ma il record non è "
                                      "disponibile.")
                           .arg(where.problem->path, reasonText(*where.problem))
                     : QStringLiteral("%1\n(%2: %3).\n\n"
                                      "Si gioca lo stesso, ma il record precedente non è "
                                      "disponibile.")
                           .arg(placeUnusable(cartella), loaded.error->path,
                                reasonText(*loaded.error)),
                 QString(), BoxIcon::Exclamation});
            if (m_over)
                return;
            window().lblpunti->setCaption(QStringLiteral("0"));
            window().lblnome->setCaption(QString());
        } else {
            if (loaded.readOnly) {
                m_noSave = loaded.readOnly;
                box({QStringLiteral("%1\n(%2: %3).\n\n"
                                    "Si gioca lo stesso, ma un nuovo record non potrà essere "
                                    "registrato.")
                         .arg(placeReadOnly(cartella), loaded.readOnly->path,
                              reasonText(*loaded.readOnly)),
                     QString(), BoxIcon::Exclamation});
                if (m_over)
                    return;
            }
            showRecord(loaded.record);
        }

        window().lblconto->setCaption(clockText(ore, minuti, secondi));
        window().lblScore1->setCaption(QStringLiteral("0"));
        window().lblScore->setCaption(QStringLiteral("0"));
    });
}

void Tavola::show()
{
    if (m_over)
        return;
    window().focusFirstControl();
    window().show();
    // A window on a display without a window manager becomes active only
    // when it asks to.
    window().raise();
    window().activateWindow();
}

void Tavola::Form_Activate()
{
    // The first activation after loading brings the first question; later
    // ones (after a box closes, or switching applications) do nothing.
    if (m_activated || m_over)
        return;
    m_activated = true;
    cmdNext_Click();
}

void Tavola::Form_Resize()
{
    if (!window().isMinimized())
        window().setWindowTitle(QString::fromLatin1(kPlayingTitle));
}

void Tavola::copy_Click(int)
{
    guarded([this] { box({QStringLiteral("Programma freeware")}); });
}

QString Tavola::GetSystemDir()
{
    return records::withTrailingSeparator(m_platform.recordFolder().path);
}

QString Tavola::Leggifiletxt(const QString &nomefile)
{
    return records::readRecordFile(nomefile);
}

Program::Program(Platform &platform)
    : m_platform(platform)
{
    m_platform.whenSessionEnds([this](bool programEnds) {
        if (m_current)
            m_current->sessionEnding(programEnds);
    });
}

Program::~Program()
{
    delete m_current;
}

void Program::start()
{
    m_current = new Tavola(m_platform, [this] {
        QMetaObject::invokeMethod(this, &Program::restart, Qt::QueuedConnection);
    });
    m_current->Form_Load();
    m_current->show();
}

void Program::restart()
{
    // The old window is already hidden and its clock stopped; it goes once
    // control is back in the event loop it was handling.
    if (m_current)
        m_current->deleteLater();
    m_current = nullptr;
    start();
}

} // namespace segni
