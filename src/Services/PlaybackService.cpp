#include "Services/PlaybackService.h"

#include "Codec/PngCodec.h"
#include "Platform/SystemSleeper.h"
#include "Services/AtomicFile.h"
#include "Services/LogService.h"
#include "Services/PlaybackEngine.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>
#include <cmath>
#include <mutex>

// One playback: its thread, its engine, and the latest state the thread reported.
class PlaybackService::Session : public PlaybackEngine::Listener
{
public:
    Session(PlaybackService* service, quint64 id, Macro macro, PlaybackOptions options)
        : m_service(service), m_id(id), m_macro(std::move(macro)), m_options(options),
          m_engine(service->m_clock, service->m_sleeper, service->m_poster)
    {
        m_engine.setOwnApplicationId(service->m_ownApplicationId);
        m_engine.setScreenCapture(service->m_capture);
        m_engine.setWindowWatch(service->m_windowWatch.get());
        m_thread.reset(QThread::create([this] {
            SystemSleeper::tuneCurrentThread();
            m_engine.run(m_macro, m_options, *this);
            QMetaObject::invokeMethod(
                m_service, [service = m_service, id = m_id] { service->sessionEnded(id); },
                Qt::QueuedConnection);
        }));
        m_thread->setObjectName(QStringLiteral("com.quillo.playback"));
    }

    void start() { m_thread->start(QThread::TimeCriticalPriority); }
    void cancelAndWait()
    {
        m_engine.cancel();
        m_thread->wait();
    }
    void wait() { m_thread->wait(); }

    quint64 id() const { return m_id; }
    const QUuid& macroId() const { return m_macro.id; }

    struct Latest {
        qint64 loop = 0;
        qint64 totalLoops = 0;
        double loopStart = 0;
        double progress = 0;
        QString waitingFor;
    };
    Latest latest()
    {
        std::lock_guard lock(m_mutex);
        m_publishScheduled = false;
        return m_latest;
    }

    // Playback thread: keep the newest values and ask the main thread once to show them.
    void loopStarted(qint64 loop, qint64 totalLoops, double startInstant) override
    {
        update([&](Latest& l) {
            l.loop = loop;
            l.totalLoops = totalLoops;
            l.loopStart = startInstant;
        });
    }
    void progressed(double fraction) override
    {
        update([&](Latest& l) { l.progress = fraction; });
    }
    void waitingFor(const QString& appName) override
    {
        update([&](Latest& l) { l.waitingFor = appName; });
    }
    void note(const QString& text) override { appLog(text, LogEntry::Level::warn); }
    // After the thread ended: why the playback stopped on its own, if it did.
    std::optional<QString> failure() const { return m_engine.failure(); }
    const PlaybackEngine& engine() const { return m_engine; }

private:
    template <typename Change>
    void update(Change change)
    {
        bool schedule = false;
        {
            std::lock_guard lock(m_mutex);
            change(m_latest);
            schedule = !m_publishScheduled;
            m_publishScheduled = true;
        }
        if (schedule)
            QMetaObject::invokeMethod(
                m_service, [service = m_service, id = m_id] { service->publish(id); },
                Qt::QueuedConnection);
    }

    PlaybackService* m_service;
    quint64 m_id;
    Macro m_macro;
    PlaybackOptions m_options;
    PlaybackEngine m_engine;
    std::unique_ptr<QThread> m_thread;
    std::mutex m_mutex;
    Latest m_latest;
    bool m_publishScheduled = false;
};

PlaybackService::PlaybackService(EventPoster& poster, const Clock& clock, Sleeper& sleeper,
                                 QObject* parent)
    : QObject(parent), m_poster(poster), m_clock(clock), m_sleeper(sleeper)
{
}

PlaybackService::~PlaybackService()
{
    // Quitting in the middle of a playback must not leave a key held down.
    if (m_session)
        m_session->cancelAndWait();
}

void PlaybackService::setState(const PlaybackState& state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}

void PlaybackService::setProgress(double progress)
{
    if (m_progress == progress)
        return;
    m_progress = progress;
    Q_EMIT progressChanged();
}

void PlaybackService::play(const Macro& macro, const PlaybackOptions& options)
{
    if (isBusy() || !isPlayable(macro, options))
        return;
    // Steps a newer Quillo wrote are skipped; the log says which.
    QStringList unknown;
    for (const MacroAction& action : macro.actions)
        if (const auto* step = std::get_if<MacroAction::Unknown>(&action.payload); step && !unknown.contains(step->typeName()))
            unknown << step->typeName();
    if (!unknown.isEmpty())
        appLog(QStringLiteral("Skipping the steps of \"%1\" that this version of Quillo does not know (%2); a newer "
                              "version plays them")
                   .arg(macro.metadata.name, unknown.join(QStringLiteral(", "))),
               LogEntry::Level::warn);
    m_sleeper.reset();
    m_stopped = false;
    // Windows are read only for a macro that waits for them.
    const bool watchesWindows = std::any_of(macro.actions.begin(), macro.actions.end(), [](const MacroAction& a) {
        return std::holds_alternative<MacroAction::Wait>(a.payload) ||
               (std::holds_alternative<MacroAction::MouseDown>(a.payload) &&
                std::get<MacroAction::MouseDown>(a.payload).sight);
    });
    if (m_windowWatch && watchesWindows)
        m_windowWatch->start();
    // A desktop that shows the screen only while Quillo needs it hears when.
    m_readingScreen = m_capture && options.waitForScreen > 0 &&
                      std::any_of(macro.actions.begin(), macro.actions.end(), PlaybackEngine::readsScreen);
    if (m_readingScreen)
        m_capture->setReading(true);
    m_session = std::make_unique<Session>(this, ++m_lastSessionId, macro, options);
    m_session->start();
}

void PlaybackService::setWorkspace(Workspace* workspace)
{
    m_windowWatch = workspace ? std::make_unique<WorkspaceWindowWatch>(*workspace) : nullptr;
}

bool PlaybackService::isPlayable(const Macro& macro, const PlaybackOptions& options)
{
    // A speed of zero, below zero or not a number would put every action at infinity;
    // an infinite one would post a whole loop at once. A macro without actions has
    // nothing to play (and would loop endlessly on nothing).
    auto finiteAtLeastZero = [](double value) { return std::isfinite(value) && value >= 0; };
    return !macro.actions.empty() && std::isfinite(options.speedMultiplier) && options.speedMultiplier > 0 &&
           finiteAtLeastZero(options.initialDelay) && finiteAtLeastZero(options.waitForApplications) &&
           finiteAtLeastZero(options.waitForScreen) &&
           (!options.delayOverride || finiteAtLeastZero(*options.delayOverride));
}

void PlaybackService::publish(quint64 sessionId)
{
    if (!m_session || m_session->id() != sessionId)
        return; // a late report of a playback that has ended
    const Session::Latest latest = m_session->latest();
    if (latest.loop > 0) {
        m_loopStartInstant = latest.loopStart;
        setState(PlaybackState::playing(m_session->macroId(), latest.loop, latest.totalLoops));
    }
    setProgress(latest.progress);
    setWaitingFor(latest.waitingFor);
}

void PlaybackService::setWaitingFor(const QString& appName)
{
    if (m_waitingFor == appName)
        return;
    m_waitingFor = appName;
    Q_EMIT waitingForChanged();
}

void PlaybackService::endSession()
{
    const bool ended = m_session != nullptr;
    m_session.reset();
    if (m_windowWatch)
        m_windowWatch->stop();
    if (m_readingScreen) {
        m_capture->setReading(false);
        m_readingScreen = false;
    }
    m_loopStartInstant = 0;
    setState(PlaybackState::idle());
    setProgress(0);
    setWaitingFor({});
    if (ended)
        Q_EMIT finished();
}

void PlaybackService::sessionEnded(quint64 sessionId)
{
    if (!m_session || m_session->id() != sessionId)
        return;
    m_session->wait();
    // Said before `finished`, so that whoever waits for the end knows why it came.
    if (const std::optional<QString> failure = m_session->failure()) {
        const PlaybackEngine& engine = m_session->engine();
        m_lastFailure = {engine.failureKind(), engine.failedStep(), engine.failedWhere(), engine.failedWaitSeconds(), {}, {}};
        QString message = *failure;
        if (!engine.failedPicture().isNull())
            message += saveScreens(engine.failedScreen(), engine.failedPicture());
        Q_EMIT failed(message, engine.failedApplication(), engine.failedWaitSeconds());
    }
    endSession();
}

QString PlaybackService::defaultScreenFolder()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return cache.isEmpty() ? QString() : QDir(cache).filePath(QStringLiteral("Quillo/screens"));
}

QString PlaybackService::saveScreens(const ScreenImage& screen, const ScreenImage& picture)
{
    if (m_screenFolder.isEmpty() || !QDir().mkpath(m_screenFolder))
        return {};
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString base = QDir(m_screenFolder).filePath(QStringLiteral("screen %1").arg(stamp));
    for (int n = 2; QFileInfo::exists(base + QStringLiteral(".png")); ++n)
        base = QDir(m_screenFolder).filePath(QStringLiteral("screen %1-%2").arg(stamp).arg(n));
    const QString screenPath = base + QStringLiteral(".png"), picturePath = base + QStringLiteral(" looked for.png");
    auto write = [](const ScreenImage& image, const QString& path) {
        const auto png = PngCodec::encode(image);
        return png.hasValue() && AtomicFile::write(path, png.value()).hasValue();
    };
    if (!write(picture, picturePath))
        return {};
    m_lastFailure.picturePath = QDir::toNativeSeparators(picturePath);
    if (screen.isNull() || !write(screen, screenPath))
        return QStringLiteral(" What it looked for is in %1.").arg(QDir::toNativeSeparators(picturePath));
    m_lastFailure.screenPath = QDir::toNativeSeparators(screenPath);
    return QStringLiteral(" The screen then is in %1, beside what it looked for (%2).")
        .arg(QDir::toNativeSeparators(screenPath), QDir::toNativeSeparators(picturePath));
}

void PlaybackService::stop()
{
    if (m_session) {
        m_stopped = true;
        m_session->cancelAndWait();
    }
    endSession();
}
