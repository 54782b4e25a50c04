#pragma once

#include "Platform/Linux/DesktopEntryIndex.h"
#include "Platform/Wayland/DesktopProvider.h"

#include <QByteArray>
#include <QJsonDocument>

class QLocalSocket;

// sway through its IPC socket ($SWAYSOCK): the focused window's app id (or an X
// client's class), focus events, `[app_id="…"] focus`, the outputs, and
// `seat - cursor set` to put the pointer at a known point. sway has no way to ask where
// the pointer is.
class SwayProvider : public DesktopProvider
{
    Q_OBJECT
public:
    explicit SwayProvider(QString socketPath = {}, QObject* parent = nullptr);
    ~SwayProvider() override;

    QString desktopName() const override { return QStringLiteral("sway"); }
    const QString& socketPath() const { return m_path; }
    bool start(QString* problem) override;
    bool reportsFocus() const override { return true; }
    bool reportsPointer() const override { return false; }
    std::optional<RunningApplication> frontmostApplication() override;
    bool activate(const QString& id) override;
    std::vector<Output> outputs() override;
    bool pointerPosition(double&, double&) override { return false; }
    bool placePointer(double x, double y) override;

    // One request and its reply (message types of the IPC), on a connection of its own
    // (thread-safe); nothing on failure.
    std::optional<QJsonDocument> request(quint32 type, const QByteArray& payload = {});

private:
    void readEvents();
    RunningApplication applicationOf(const QJsonObject& node);

    QString m_path;
    QLocalSocket* m_events = nullptr;
    QByteArray m_eventBuffer;
    DesktopEntryIndex m_entries;
};
