#pragma once

#include "Platform/Linux/DesktopEntryIndex.h"
#include "Platform/Wayland/DesktopProvider.h"

#include <QJsonDocument>
#include <mutex>

class QLocalSocket;

// Hyprland through its two sockets ($XDG_RUNTIME_DIR/hypr/$HYPRLAND_INSTANCE_SIGNATURE,
// or /tmp/hypr/… on older versions): requests (`j/cursorpos`, `j/activewindow`,
// `j/monitors`, `dispatch focuswindow`) on the first, one per connection; the
// `activewindowv2` events on the second.
class HyprlandProvider : public DesktopProvider
{
    Q_OBJECT
public:
    // `folder`: where the sockets are (empty: found from the environment).
    explicit HyprlandProvider(QString folder = {}, QObject* parent = nullptr);

    QString desktopName() const override { return QStringLiteral("Hyprland"); }
    bool start(QString* problem) override;
    bool reportsFocus() const override { return true; }
    bool reportsPointer() const override { return true; }
    std::optional<RunningApplication> frontmostApplication() override;
    bool activate(const QString& id) override;
    std::vector<Output> outputs() override;
    bool pointerPosition(double& x, double& y) override;

    // One request on a connection of its own (thread-safe); the reply's bytes.
    std::optional<QByteArray> request(const QByteArray& command) const;

Q_SIGNALS:
    // "custom>>DATA" on the event socket (what the `event` dispatcher sends).
    void customEvent(const QString& data);

private:
    void readEvents();

    QString m_folder;
    QLocalSocket* m_events = nullptr;
    QByteArray m_eventBuffer;
    DesktopEntryIndex m_entries;
};
