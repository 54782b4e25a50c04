#pragma once

#include "Models/DesktopWindow.h"

#include <optional>
#include <vector>

// The desktop's windows as a playback sees them from its own thread (see
// WorkspaceWindowWatch, which keeps a copy of what the workspace reports).
class WindowWatch
{
public:
    virtual ~WindowWatch() = default;
    // The windows now; nothing when this desktop does not say which windows are open.
    virtual std::optional<std::vector<DesktopWindow>> windows() = 0;
};
