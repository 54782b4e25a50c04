#pragma once

#include "Platform/WindowWatch.h"
#include "Platform/Workspace.h"

#include <QObject>
#include <QTimer>
#include <mutex>

// What the workspace (main thread) says of the windows, copied every 50 ms while a
// playback that waits for windows runs, for the playback thread to read at once.
class WorkspaceWindowWatch : public QObject, public WindowWatch
{
    Q_OBJECT
public:
    explicit WorkspaceWindowWatch(Workspace& workspace, QObject* parent = nullptr);

    static constexpr int refreshMs = 50;

    // Main thread: reads the windows now and keeps reading them until stop().
    void start();
    void stop();
    // Any thread.
    std::optional<std::vector<DesktopWindow>> windows() override;

private:
    void refresh();

    Workspace& m_workspace;
    QTimer m_timer;
    std::mutex m_mutex;
    std::optional<std::vector<DesktopWindow>> m_windows;
};
