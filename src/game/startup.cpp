// Loading the game window, its window-level events, the credits box, and
// how a handler's flow runs.

#include "tavola.h"

#include "base/random.h"

namespace segni {

namespace {
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

void Tavola::handle(Task<> flow)
{
    m_flows.start(guarded(std::move(flow)));
}

Task<> Tavola::guarded(Task<> body)
{
    std::optional<RuntimeError> failure;
    try {
        co_await std::move(body);
    } catch (const RuntimeError &error) {
        failure = error;
    }
    if (failure)
        co_await runTimeError(*failure);
}

Task<> Tavola::runTimeError(RuntimeError error)
{
    if (m_phase == Phase::Over)
        co_return;
    m_phase = Phase::Ending;
    co_await ask({QStringLiteral("Errore di run-time '%1':\n\n%2").arg(error.code()).arg(error.message()),
                  QString(), BoxIcon::Exclamation});
    co_await joinSave();
    endProgram(1);
}

Answer<BoxAnswer> Tavola::ask(MessageRequest request)
{
    return Answer<BoxAnswer>([this, request = std::move(request)](Answer<BoxAnswer>::Callback done) {
        m_platform.messageBox(m_window && m_window->isVisible() ? m_window.get() : nullptr, request,
                              std::move(done));
    });
}

Answer<QString> Tavola::askText(QString prompt, QString title)
{
    return Answer<QString>([this, prompt = std::move(prompt),
                            title = std::move(title)](Answer<QString>::Callback done) {
        m_platform.inputBox(nullptr, prompt, title, std::move(done));
    });
}

void Tavola::endProgram(int status)
{
    if (m_phase == Phase::Over)
        return;
    m_phase = Phase::Over;
    Timer1->setEnabled(false);
    m_platform.closeBoxes();
    m_platform.endProgram(status, m_restart);
}

void Tavola::Form_Load(std::function<void()> loaded)
{
    handle(load(std::move(loaded)));
}

Task<> Tavola::load(std::function<void()> loaded)
{
    m_platform.random().reseed(m_platform.secondsSinceMidnight());
    Timer1->setEnabled(false);

    const QString name = co_await askText(QStringLiteral("Come ti chiami?"),
                                          QStringLiteral("Rovid edi do rerudiru da razuzo razozezo"));
    co_await ask({QLatin1Char(' ') + name + QStringLiteral(" vediamo se sei un vero campione  "),
                  QStringLiteral("Sei pronto per il record? Buona fortuna"), BoxIcon::Exclamation});
    window().lblnome1->setCaption(name);

    StartClock();

    const records::RecordPlace place = co_await m_platform.recordPlace();
    if (m_phase == Phase::Over)
        co_return;
    co_await openRecord(place);
    if (m_phase == Phase::Over)
        co_return;

    window().lblconto->setCaption(clockText(ore, minuti, secondi));
    window().lblScore1->setCaption(QStringLiteral("0"));
    window().lblScore->setCaption(QStringLiteral("0"));
    if (loaded)
        loaded();
}

void Tavola::show()
{
    if (m_phase == Phase::Over)
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
    if (m_activated || m_phase == Phase::Over)
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
    handle([](Tavola &tavola) -> Task<> {
        co_await tavola.ask({QStringLiteral("Programma freeware")});
    }(*this));
}

Program::Program(Platform &platform)
    : m_platform(platform)
{
    m_platform.whenSessionEnds(
        [this](bool programEnds) { return m_current && m_current->sessionEnding(programEnds); });
}

Program::~Program()
{
    delete m_current;
}

void Program::start()
{
    Tavola *tavola = new Tavola(m_platform, [this] {
        QMetaObject::invokeMethod(this, &Program::restart, Qt::QueuedConnection);
    });
    m_current = tavola;
    tavola->Form_Load([tavola] { tavola->show(); });
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
