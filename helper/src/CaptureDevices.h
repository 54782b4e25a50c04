#pragma once

#include "InputdProtocol.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <string>

class QFileSystemWatcher;
class QSocketNotifier;
struct libevdev;

// Reads every keyboard and pointer under /dev/input while capture runs: never grabs a
// device (the desktop keeps working), follows devices plugged in or out, skips the
// helper's own virtual devices, and stamps events with CLOCK_MONOTONIC as the kernel did.
class CaptureDevices : public QObject
{
    Q_OBJECT
public:
    using Sink = std::function<void(const InputdProtocol::InputEvent&)>;

    explicit CaptureDevices(Sink sink, QString folder = QStringLiteral("/dev/input"), QObject* parent = nullptr);
    ~CaptureDevices() override;

    void start();
    void stop();
    bool isRunning() const { return m_running; }
    // Reads whatever the open devices hold right now (before saying a capture stopped).
    void drain();
    std::size_t deviceCount() const { return m_devices.size(); }

private:
    struct Device
    {
        int fd = -1;
        libevdev* evdev = nullptr;
        QSocketNotifier* notifier = nullptr;
        std::uint16_t id = 0;
        std::string name;
    };

    void scan();
    void open(const QString& path);
    void read(const QString& path);
    void close(const QString& path);

    Sink m_sink;
    QString m_folder;
    bool m_running = false;
    std::map<QString, Device> m_devices;
    std::uint16_t m_nextId = 1;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer m_rescan; // a new node may become readable a moment after it appears
};
