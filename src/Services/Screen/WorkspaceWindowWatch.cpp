#include "Services/Screen/WorkspaceWindowWatch.h"

WorkspaceWindowWatch::WorkspaceWindowWatch(Workspace& workspace, QObject* parent)
    : QObject(parent), m_workspace(workspace)
{
    m_timer.setInterval(refreshMs);
    connect(&m_timer, &QTimer::timeout, this, &WorkspaceWindowWatch::refresh);
}

void WorkspaceWindowWatch::start()
{
    refresh();
    m_timer.start();
}

void WorkspaceWindowWatch::stop()
{
    m_timer.stop();
}

std::optional<std::vector<DesktopWindow>> WorkspaceWindowWatch::windows()
{
    std::lock_guard lock(m_mutex);
    return m_windows;
}

void WorkspaceWindowWatch::refresh()
{
    auto now = m_workspace.windows();
    std::lock_guard lock(m_mutex);
    m_windows = std::move(now);
}
