#pragma once

#include "Models/Macro.h"

#include <QObject>
#include <optional>
#include <QPointer>
#include <QStringList>
#include <QTimer>

class AppViewModel;
class CloudTask;
class QLocalSocket;

// A `quillo import`, `record` or `play` that the running application carries out for
// the command line (which may not write the library while the application holds it),
// reporting back over the command's socket:
//
//   request  {folder, "import", path[, "replace"]}
//            {folder, "play", "library"|"file", id|path, speed, loops, forever, spacing[, wait[, map]]}
//            {folder, "record", name, seconds (empty: until stopped)[, keyboard, mouse, moveIntervalMs]}
//              (the last three "1"/"0", "1"/"0" and milliseconds: this recording's options)
//            {folder, "cloud", request...} (see CloudTask)
//            {folder, "hotkeys"}: the three hotkeys' chords and whether they are in force
//   command  {"stop"}: end the playback or the recording
//   replies  {"imported", name, count, id}   {"replaced", name, count, id}   {"saved", name, count, seconds, id}
//            {"progress", loop, loops (empty: endless), percent}   {"recording", count}
//            {"waiting", application (empty: no longer)}   {"stops", chords that stop the recording}
//            {"hotkey", chord, why not in force (empty: it is), how chords arrive}
//            {"nothing"}   {"done"}   {"stopped"}   {"line", text}   {"error", text}   {"exit", code}
//
// Lives as long as its socket; a command that goes away stops what it started.
class RemoteCommand : public QObject
{
    Q_OBJECT
public:
    static void start(AppViewModel& model, QLocalSocket* socket, const QStringList& request);

private:
    RemoteCommand(AppViewModel& model, QLocalSocket* socket);

    void run(const QStringList& request);
    void runImport(const QString& path, bool replace);
    void runPlay(const QStringList& arguments);
    void runRecord(const QString& name, const QString& seconds, std::optional<RecordingOptions> options,
                   bool pictures);
    void runCloud(const QStringList& request);
    void runHotkeys();
    void recordingEnded();
    void readCommands();
    void stopWork();
    void reply(const QStringList& message);
    void finish(int code);
    void fail(const QString& text);
    bool busy() const;

    enum class Work { none, play, record };

    AppViewModel& m_model;
    QPointer<QLocalSocket> m_socket;
    Work m_work = Work::none;
    bool m_stopRequested = false;
    bool m_finished = false;
    QString m_name;
    QString m_failure;
    QTimer m_duration;
    QPointer<CloudTask> m_cloud;
};
