#pragma once

#include "Platform/Workspace.h"
#include "Platform/Linux/DesktopEntryIndex.h"

#include <QByteArray>
#include <QPoint>
#include <optional>

struct _XDisplay;
class QSocketNotifier;

// The desktop as an EWMH window manager shows it: the frontmost application owns
// _NET_ACTIVE_WINDOW on the root window; its identifier is the window's WM_CLASS class
// and its name comes from the matching desktop entry. Windows of this process count
// as this application whatever their class.
class X11Workspace : public Workspace
{
    Q_OBJECT
public:
    explicit X11Workspace(QString ownId = QStringLiteral("quillo"), QByteArray displayName = {},
                          QObject* parent = nullptr);
    ~X11Workspace() override;

    bool isConnected() const { return m_display != nullptr; }
    // Where the window manager really put the frame of the top-level window `windowId`
    // (toolkits may not know: a window placed by the manager is not always reported).
    std::optional<QPoint> frameTopLeft(quint64 windowId) const;
    std::optional<RunningApplication> frontmostApplication() override;
    QString ownApplicationId() const override { return m_ownId; }
    // The active RandR outputs (their names and places); the whole screen without RandR.
    std::vector<ScreenOutput> screenLayout() override;
    // The classes of the windows the window manager lists (_NET_CLIENT_LIST).
    std::vector<RunningApplication> runningApplications() override;
    // The active window's title (_NET_WM_NAME, else WM_NAME) and its place on the screen.
    std::optional<FrontWindow> frontmostWindow() override;
    // Every window the window manager lists, with its title and place.
    std::optional<std::vector<DesktopWindow>> windows() override;

private:
    // The listed top-level windows (_NET_CLIENT_LIST), at most 4,096.
    std::vector<unsigned long> clientWindows();
    // A window's title and place; false when it is gone.
    bool describe(unsigned long window, FrontWindow& out);
    void readEvents();
    void readEventsLater();
    std::optional<RunningApplication> applicationOf(unsigned long window);

    QString m_ownId;
    _XDisplay* m_display = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    unsigned long m_activeWindowAtom = 0;
    unsigned long m_pidAtom = 0;
    DesktopEntryIndex m_entries;
    bool m_readScheduled = false;
};
