#include "CaptureDevices.h"

#include "VirtualDevices.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QSocketNotifier>

#include <libevdev/libevdev.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

CaptureDevices::CaptureDevices(Sink sink, QString folder, QObject* parent)
    : QObject(parent), m_sink(std::move(sink)), m_folder(std::move(folder))
{
    m_rescan.setSingleShot(true);
    m_rescan.setInterval(300);
    connect(&m_rescan, &QTimer::timeout, this, &CaptureDevices::scan);
}

CaptureDevices::~CaptureDevices()
{
    stop();
}

void CaptureDevices::start()
{
    if (m_running)
        return;
    m_running = true;
    m_watcher = new QFileSystemWatcher({m_folder}, this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        scan();
        m_rescan.start();
    });
    scan();
}

void CaptureDevices::stop()
{
    if (!m_running)
        return;
    m_running = false;
    delete m_watcher;
    m_watcher = nullptr;
    m_rescan.stop();
    while (!m_devices.empty())
        close(m_devices.begin()->first);
}

void CaptureDevices::scan()
{
    if (!m_running)
        return;
    const QStringList nodes = QDir(m_folder).entryList({QStringLiteral("event*")}, QDir::System);
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        const QString path = it->first;
        ++it;
        if (!nodes.contains(QFileInfo(path).fileName()))
            close(path);
    }
    for (const QString& node : nodes) {
        const QString path = m_folder + QLatin1Char('/') + node;
        if (!m_devices.count(path))
            open(path);
    }
}

void CaptureDevices::open(const QString& path)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return; // not readable (yet); the next scan tries again
    libevdev* evdev = nullptr;
    if (libevdev_new_from_fd(fd, &evdev) != 0) {
        ::close(fd);
        return;
    }
    const std::string name = libevdev_get_name(evdev) ? libevdev_get_name(evdev) : "";
    const bool keyboard = libevdev_has_event_code(evdev, EV_KEY, KEY_A) || libevdev_has_event_code(evdev, EV_KEY, KEY_ENTER);
    const bool pointer = libevdev_has_event_code(evdev, EV_REL, REL_X) || libevdev_has_event_code(evdev, EV_KEY, BTN_LEFT) ||
                         libevdev_has_event_code(evdev, EV_REL, REL_WHEEL);
    if (VirtualDevices::isOwnDevice(name) || (!keyboard && !pointer)) {
        libevdev_free(evdev);
        ::close(fd);
        // Remembered without a descriptor, so that scans do not open it again.
        m_devices[path] = Device{-1, nullptr, nullptr, 0, name};
        return;
    }
    libevdev_set_clock_id(evdev, CLOCK_MONOTONIC);
    Device device{fd, evdev, new QSocketNotifier(fd, QSocketNotifier::Read, this), m_nextId++, name};
    connect(device.notifier, &QSocketNotifier::activated, this, [this, path] { read(path); });
    m_devices[path] = device;
    std::fprintf(stderr, "quillo-inputd: reading %s (%s)\n", path.toLocal8Bit().constData(), name.c_str());
}

void CaptureDevices::read(const QString& path)
{
    auto it = m_devices.find(path);
    if (it == m_devices.end() || !it->second.evdev)
        return;
    Device& device = it->second;
    input_event event{};
    int flag = LIBEVDEV_READ_FLAG_NORMAL;
    for (;;) {
        const int rc = libevdev_next_event(device.evdev, flag, &event);
        if (rc == LIBEVDEV_READ_STATUS_SYNC) {
            // The kernel dropped events: what follows brings the device up to date.
            flag = LIBEVDEV_READ_FLAG_SYNC;
        } else if (rc == LIBEVDEV_READ_STATUS_SUCCESS) {
        } else if (rc == -EAGAIN && flag == LIBEVDEV_READ_FLAG_SYNC) {
            flag = LIBEVDEV_READ_FLAG_NORMAL;
            continue;
        } else {
            if (rc != -EAGAIN)
                close(path); // unplugged
            return;
        }
        m_sink(InputdProtocol::InputEvent{device.id, event.type, event.code, event.value,
                                          std::int64_t(event.input_event_sec), std::int32_t(event.input_event_usec)});
    }
}

void CaptureDevices::drain()
{
    std::vector<QString> paths;
    for (const auto& [path, device] : m_devices)
        if (device.evdev)
            paths.push_back(path);
    for (const QString& path : paths)
        read(path);
}

void CaptureDevices::close(const QString& path)
{
    auto it = m_devices.find(path);
    if (it == m_devices.end())
        return;
    Device device = it->second;
    m_devices.erase(it);
    delete device.notifier;
    if (device.evdev)
        libevdev_free(device.evdev);
    if (device.fd >= 0)
        ::close(device.fd);
}
