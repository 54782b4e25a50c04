#include "App/RemoteCommand.h"

#include "App/InstanceMessages.h"
#include "Services/Cloud/CloudTask.h"
#include "Services/ExportImportService.h"
#include "ViewModels/AppViewModel.h"

#include <QDir>
#include <QLocalSocket>
#include <cmath>

namespace {
QString idText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}
} // namespace

void RemoteCommand::start(AppViewModel& model, QLocalSocket* socket, const QStringList& request)
{
    auto* command = new RemoteCommand(model, socket);
    command->run(request);
}

RemoteCommand::RemoteCommand(AppViewModel& model, QLocalSocket* socket)
    : QObject(socket), m_model(model), m_socket(socket)
{
    m_duration.setSingleShot(true);
    connect(&m_duration, &QTimer::timeout, this, [this] { m_model.recordingFlow().stopRecordingAndPrompt(); });
    connect(socket, &QLocalSocket::readyRead, this, &RemoteCommand::readCommands);
    // The command was interrupted or killed: end what it started (a recording then
    // waits in the save sheet, as one stopped by hand).
    connect(socket, &QLocalSocket::disconnected, this, &RemoteCommand::stopWork);
}

void RemoteCommand::reply(const QStringList& message)
{
    if (m_socket && m_socket->state() == QLocalSocket::ConnectedState)
        InstanceMessages::send(*m_socket, message);
}

void RemoteCommand::finish(int code)
{
    if (m_finished)
        return;
    m_finished = true;
    m_work = Work::none;
    reply({QStringLiteral("exit"), QString::number(code)});
    if (m_socket)
        m_socket->disconnectFromServer();
}

void RemoteCommand::fail(const QString& text)
{
    reply({QStringLiteral("error"), text});
    finish(1);
}

bool RemoteCommand::busy() const
{
    return m_model.recorder().state() != RecordingState::idle || m_model.playback().isBusy() ||
           m_model.recordingFlow().showRecordingSheet();
}

void RemoteCommand::run(const QStringList& request)
{
    const QString folder = request.value(0);
    const QString command = request.value(1);
    auto path = [&](const QString& p) { return QDir(folder).absoluteFilePath(p); };
    if (command == QLatin1String("import") && request.size() == 3)
        runImport(path(request[2]), false);
    else if (command == QLatin1String("import") && request.size() == 4 && request[3] == QLatin1String("replace"))
        runImport(path(request[2]), true);
    else if (command == QLatin1String("play") && request.size() >= 8 && request.size() <= 11)
        runPlay(request.mid(2));
    else if (command == QLatin1String("record") && (request.size() == 4 || request.size() == 7 ||
                                                     ((request.size() == 5 || request.size() == 8) &&
                                                      request.back() == QLatin1String("no-pictures")))) {
        // Without "no-pictures", presses keep what the screen showed (as the settings say).
        const bool pictures = request.size() == 4 || request.size() == 7;
        if (request.size() < 7) {
            runRecord(request[2], request[3], std::nullopt, pictures);
        } else {
            RecordingOptions options;
            options.keyboard = request[4] == QLatin1String("1");
            options.mouse = request[5] == QLatin1String("1");
            bool number = false;
            options.moveIntervalMs = request[6].toInt(&number);
            if (!number || options.moveIntervalMs < 0 || options.moveIntervalMs > RecordingOptions::maxMoveIntervalMs ||
                (!options.keyboard && !options.mouse))
                fail(QStringLiteral("the recording options are not valid"));
            else
                runRecord(request[2], request[3], options, pictures);
        }
    }
    else if (command == QLatin1String("cloud") && request.size() >= 3)
        runCloud(request.mid(2));
    else if (command == QLatin1String("hotkeys") && request.size() == 2)
        runHotkeys();
    else
        fail(QStringLiteral("the running Quillo does not know this request (is it an older version?)"));
}

void RemoteCommand::runImport(const QString& path, bool replace)
{
    auto macro = ExportImportService::importMacroFrom(path);
    if (!macro) {
        fail(macro.error().description());
        return;
    }
    Macro imported = macro.value();
    m_model.clearErrorMessage();
    if (replace) {
        auto placed = m_model.library().importReplacing(std::move(macro).value());
        if (!placed) {
            fail(placed.error());
            return;
        }
        if (placed.value()) {
            const Macro* now = m_model.selectedMacro();
            reply({QStringLiteral("replaced"), imported.metadata.name, QString::number(imported.actions.size()),
                   now ? idText(now->id) : QString()});
            finish(0);
            return;
        }
    } else {
        m_model.library().addImportedMacro(std::move(macro).value());
    }
    if (const auto error = m_model.errorMessage()) {
        const QString text = *error;
        m_model.clearErrorMessage(); // said in the terminal; no alert in the window too
        fail(text);
        return;
    }
    reply({QStringLiteral("imported"), imported.metadata.name, QString::number(imported.actions.size()),
           idText(imported.id)});
    finish(0);
}

void RemoteCommand::runPlay(const QStringList& arguments)
{
    if (busy()) {
        fail(QStringLiteral("Quillo is recording or playing; try again when it has finished"));
        return;
    }
    Macro macro;
    if (arguments[0] == QLatin1String("library")) {
        const QUuid id = QUuid::fromString(arguments[1]);
        const auto found = std::find_if(m_model.macros().begin(), m_model.macros().end(),
                                        [&](const Macro& m) { return m.id == id; });
        if (found == m_model.macros().end()) {
            fail(QStringLiteral("the macro is not in the running Quillo's library"));
            return;
        }
        macro = *found; // as the application holds it now
    } else {
        auto read = ExportImportService::importMacroFrom(arguments[1]);
        if (!read) {
            fail(read.error().description());
            return;
        }
        macro = std::move(read).value();
    }
    PlaybackOptions options;
    options.speedMultiplier = arguments[2].toDouble();
    options.loopCount = arguments[3].toLongLong();
    options.isInfinite = arguments[4] == QLatin1String("1");
    if (!arguments[5].isEmpty())
        options.delayOverride = arguments[5].toDouble();
    if (arguments.size() > 6)
        options.waitForApplications = arguments[6].toDouble();
    if (arguments.size() > 7)
        options.mapToCurrentLayout = arguments[7] == QLatin1String("1");
    if (arguments.size() > 8)
        options.waitForScreen = arguments[8].toDouble();
    if (macro.actions.empty()) {
        reply({QStringLiteral("nothing")});
        finish(0);
        return;
    }

    PlaybackService& playback = m_model.playback();
    auto progress = [this, &playback] {
        const PlaybackState& state = playback.state();
        if (m_work != Work::play || state.kind != PlaybackState::Kind::playing)
            return;
        reply({QStringLiteral("progress"), QString::number(state.currentLoop),
               state.isEndless() ? QString() : QString::number(state.totalLoops),
               QString::number(int(std::floor(playback.progress() * 100)))});
    };
    connect(&playback, &PlaybackService::progressChanged, this, progress);
    connect(&playback, &PlaybackService::stateChanged, this, progress);
    connect(&playback, &PlaybackService::waitingForChanged, this, [this, &playback] {
        if (m_work == Work::play)
            reply({QStringLiteral("waiting"), playback.waitingFor()});
    });
    connect(&playback, &PlaybackService::failed, this, [this](const QString& message) {
        if (m_work == Work::play)
            m_failure = message;
    });
    connect(&playback, &PlaybackService::finished, this, [this] {
        if (m_work != Work::play)
            return;
        if (!m_failure.isEmpty())
            return fail(m_failure);
        // Stopped from here (Ctrl-C) or in the application (a hotkey, the window, the tray).
        reply({m_stopRequested || m_model.playback().wasStopped() ? QStringLiteral("stopped") : QStringLiteral("done")});
        finish(0);
    });
    m_work = Work::play;
    m_model.startPlayback(macro, options);
    if (!playback.isBusy()) {
        m_work = Work::none;
        fail(QStringLiteral("the playback could not start"));
    }
}

void RemoteCommand::runRecord(const QString& name, const QString& seconds, std::optional<RecordingOptions> options,
                              bool pictures)
{
    if (busy()) {
        fail(QStringLiteral("Quillo is recording or playing; try again when it has finished"));
        return;
    }
    m_name = name;
    RecorderService& recorder = m_model.recorder();
    connect(&recorder, &RecorderService::currentActionsChanged, this, [this, &recorder] {
        if (m_work == Work::record && recorder.state() == RecordingState::recording)
            reply({QStringLiteral("recording"), QString::number(recorder.currentActions().size())});
    });
    // Queued: by then the model has taken the recording's actions (or the tap's failure).
    connect(&recorder, &RecorderService::stateChanged, this, [this, &recorder] {
        if (m_work == Work::record && recorder.state() == RecordingState::idle)
            recordingEnded();
    }, Qt::QueuedConnection);
    m_model.clearErrorMessage();
    m_work = Work::record;
    m_model.recordingFlow().startRecording(std::nullopt, options, pictures ? std::nullopt : std::optional<bool>(false));
    if (recorder.state() != RecordingState::recording) {
        m_work = Work::none;
        const QString why = m_model.errorMessage().value_or(QStringLiteral("the recording could not start"));
        m_model.clearErrorMessage();
        fail(why);
        return;
    }
    reply({QStringLiteral("stops"), m_model.hotkeyChords().stopRecordingChords()});
    if (!seconds.isEmpty())
        m_duration.start(int(std::lround(seconds.toDouble() * 1000)));
}

void RemoteCommand::runHotkeys()
{
    HotkeyViewModel& chords = m_model.hotkeyChords();
    const QString mechanism = m_model.hotkeys().registrar().mechanism();
    for (const HotkeyConfig& standard : HotkeyService::defaults()) {
        const auto inForce = chords.chord(standard.id);
        const QString chord = inForce ? inForce->portableText()
                                      : HotkeyViewModel::storedChord(m_model.settings(), standard.id).portableText();
        reply({QStringLiteral("hotkey"), chord, inForce ? QString() : m_model.hotkeys().problem(standard.id), mechanism});
    }
    finish(0);
}

void RemoteCommand::recordingEnded()
{
    m_duration.stop();
    if (m_model.recorder().tapFailed()) {
        fail(QStringLiteral("cannot record: the input tap could not start (see quillo doctor)"));
        return;
    }
    if (!m_model.recordingFlow().showRecordingSheet()) {
        reply({QStringLiteral("nothing")});
        finish(0);
        return;
    }
    // Saved under the command's name: the save sheet that opened closes again.
    m_model.recordingFlow().setPendingRecordingName(m_name);
    m_model.recordingFlow().savePendingRecording();
    if (const auto error = m_model.errorMessage()) {
        const QString text = *error;
        m_model.clearErrorMessage();
        fail(text);
        return;
    }
    const Macro& saved = m_model.macros().front();
    reply({QStringLiteral("saved"), saved.metadata.name, QString::number(saved.actions.size()),
           QString::number(saved.totalDuration()), idText(saved.id)});
    finish(0);
}

void RemoteCommand::readCommands()
{
    while (m_socket) {
        const auto message = InstanceMessages::receive(*m_socket);
        if (!message)
            return;
        if (message->value(0) == QLatin1String("stop"))
            stopWork();
    }
}

void RemoteCommand::runCloud(const QStringList& request)
{
    auto putBack = [this](Macro macro, const QString& description) -> std::optional<QString> {
        m_model.library().putMacroInPlace(std::move(macro), description);
        return std::nullopt;
    };
    m_cloud = new CloudTask(m_model.cloudAuth(), m_model.backupSync(), [this] { return m_model.macros(); },
                            m_model.settings(), putBack, this);
    connect(m_cloud, &CloudTask::output, this, [this](const QString& line) { reply({QStringLiteral("line"), line}); });
    connect(m_cloud, &CloudTask::problem, this, [this](const QString& line) { reply({QStringLiteral("error"), line}); });
    connect(m_cloud, &CloudTask::finished, this, &RemoteCommand::finish);
    m_cloud->start(request);
}

void RemoteCommand::stopWork()
{
    m_stopRequested = true;
    if (m_cloud)
        m_cloud->cancel();
    if (m_work == Work::play)
        m_model.stopPlayback();
    else if (m_work == Work::record)
        m_model.recordingFlow().stopRecordingAndPrompt();
}
