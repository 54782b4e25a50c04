#include "Platform/Workspace.h"

std::optional<std::vector<DesktopWindow>> Workspace::windows()
{
    const std::optional<RunningApplication> front = frontmostApplication();
    std::vector<RunningApplication> running = runningApplications();
    if (!front && running.empty())
        return std::nullopt;
    std::vector<DesktopWindow> windows;
    if (front && front->id != ownApplicationId()) {
        DesktopWindow window{front->id, front->name, {}, {}, true};
        if (const auto shown = frontmostWindow()) {
            window.title = shown->title;
            window.area = shown->area;
        }
        windows.push_back(window);
    }
    for (const RunningApplication& app : running)
        if (!front || app.id != front->id)
            windows.push_back(DesktopWindow{app.id, app.name, {}, {}, false});
    return windows;
}
