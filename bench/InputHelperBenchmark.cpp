// The input helper's cost, inside the qemu guest (software-emulated, so the figures are
// upper bounds): run with tests/kernel/run-in-guest.sh build/bench/quillo_bench_inputd.
//  - capture: from the kernel's timestamp of a key event on a test device to its arrival
//    at a Quillo client, against reading the same device directly (the baseline);
//  - posting: from sending a key event to the helper to its kernel timestamp on the
//    helper's virtual keyboard, against writing to a uinput device of our own;
//  - replay: lateness of each post against its due instant, 2,000 pointer moves 1 ms
//    apart through the playback service, into the helper and into a poster that does
//    nothing (the baseline).
#include "InputdCodec.h"
#include "Platform/SystemClock.h"
#include "Platform/SystemSleeper.h"
#include "Platform/Wayland/InputdClient.h"
#include "Platform/Wayland/WaylandEventPoster.h"
#include "Services/PlaybackService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kEvents = 4000;

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void report(const char* what, std::vector<double> micros)
{
    std::sort(micros.begin(), micros.end());
    auto at = [&](double q) { return micros.empty() ? 0.0 : micros[std::size_t(q * double(micros.size() - 1))]; };
    std::printf("%-48s n=%5zu  p50 %8.1f us  p99 %8.1f us  max %8.1f us\n", what, micros.size(), at(0.5), at(0.99),
                micros.empty() ? 0.0 : micros.back());
}

libevdev_uinput* keyboard(const char* name)
{
    libevdev* d = libevdev_new();
    libevdev_set_name(d, name);
    libevdev_enable_event_type(d, EV_KEY);
    libevdev_enable_event_code(d, EV_KEY, KEY_A, nullptr);
    libevdev_uinput* device = nullptr;
    libevdev_uinput_create_from_device(d, LIBEVDEV_UINPUT_OPEN_MANAGED, &device);
    libevdev_free(d);
    return device;
}

// Opens the event node of the device called `name`.
libevdev* openByName(const char* name, int& fd)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (const QString& node : QDir(QStringLiteral("/dev/input")).entryList({QStringLiteral("event*")}, QDir::System)) {
            fd = ::open(("/dev/input/" + node).toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK);
            libevdev* d = nullptr;
            if (fd >= 0 && libevdev_new_from_fd(fd, &d) == 0 && std::string(libevdev_get_name(d)) == name) {
                libevdev_set_clock_id(d, CLOCK_MONOTONIC);
                return d;
            }
            if (d)
                libevdev_free(d);
            if (fd >= 0)
                ::close(fd);
        }
        QThread::msleep(20);
    }
    return nullptr;
}

double stamp(const input_event& e)
{
    return double(e.input_event_sec) + double(e.input_event_usec) / 1e6;
}

// Writes key events one by one and waits for each on `reader`: the latency of each.
template <typename Send> std::vector<double> roundTrips(libevdev* reader, int readerFd, Send send)
{
    std::vector<double> micros;
    for (int i = 0; i < kEvents; ++i) {
        const double sent = now();
        send(i % 2 == 0 ? 1 : 0); // a press first: the kernel drops a release of a key that is up
        for (;;) {
            pollfd p{readerFd, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0)
                return micros;
            input_event e{};
            bool got = false;
            while (libevdev_next_event(reader, LIBEVDEV_READ_FLAG_NORMAL, &e) == LIBEVDEV_READ_STATUS_SUCCESS)
                if (e.type == EV_KEY) {
                    micros.push_back((stamp(e) - sent) * 1e6);
                    got = true;
                }
            if (got)
                break;
        }
    }
    return micros;
}

// Notes when each event went out through `inner` (nothing: a poster that does nothing).
class MeasuringPoster : public EventPoster
{
public:
    explicit MeasuringPoster(EventPoster* inner) : m_inner(inner) {}
    void prepare() override
    {
        if (m_inner)
            m_inner->prepare();
    }
    bool post(const SyntheticEvent& e) override
    {
        const bool ok = m_inner ? m_inner->post(e) : true;
        postedAt.push_back(SystemClock::instance().now());
        return ok;
    }
    bool activateApplication(const QString&) override { return true; }
    void releaseModifiers() override
    {
        if (m_inner)
            m_inner->releaseModifiers();
    }
    std::vector<double> postedAt;

private:
    EventPoster* m_inner;
};

std::vector<double> replayLateness(EventPoster* inner)
{
    Macro macro;
    macro.id = QUuid::createUuid();
    for (int i = 0; i < 2000; ++i)
        macro.actions.push_back(MacroAction::mouseMove(0.05 + 0.001 * i, 100 + (i % 2) * 3, 100));
    MeasuringPoster measuring(inner);
    SystemSleeper sleeper;
    PlaybackService service(measuring, SystemClock::instance(), sleeper);
    service.play(macro, {});
    double loopStart = 0;
    while (service.isBusy()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        if (service.loopStartInstant() > 0)
            loopStart = service.loopStartInstant();
    }
    std::vector<double> late;
    for (std::size_t i = 0; i < measuring.postedAt.size() && i < macro.actions.size(); ++i)
        late.push_back((measuring.postedAt[i] - (loopStart + macro.actions[i].timestamp)) * 1e6);
    return late;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!QFileInfo::exists(QStringLiteral("/dev/uinput"))) {
        std::fprintf(stderr, "run inside the guest: tests/kernel/run-in-guest.sh %s\n", argv[0]);
        return 1;
    }
    const QString socket = QStringLiteral("/run/quillo-inputd-bench/socket");
    QProcess helper;
    helper.start(QStringLiteral(QUILLO_INPUTD_BINARY), {QStringLiteral("--socket"), socket});
    helper.waitForStarted();
    while (!QFileInfo::exists(socket))
        QThread::msleep(10);

    // Capture: direct reading (baseline) and through the helper, of the same device.
    libevdev_uinput* source = keyboard("Bench keyboard");
    int directFd = -1;
    libevdev* direct = openByName("Bench keyboard", directFd);
    report("capture, read directly (baseline)", roundTrips(direct, directFd, [&](int v) {
               libevdev_uinput_write_event(source, EV_KEY, KEY_A, v);
               libevdev_uinput_write_event(source, EV_SYN, SYN_REPORT, 0);
           }));
    InputdClient capture;
    QString error;
    if (!capture.connect(socket, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    capture.send(InputdProtocol::StartCapture{});
    QThread::msleep(300);
    std::vector<double> throughHelper;
    for (int i = 0; i < kEvents; ++i) {
        libevdev_uinput_write_event(source, EV_KEY, KEY_A, i % 2 == 0 ? 1 : 0);
        libevdev_uinput_write_event(source, EV_SYN, SYN_REPORT, 0);
        for (;;) {
            auto m = capture.receive(1000);
            if (!m)
                break;
            if (const auto* e = std::get_if<InputdProtocol::InputEvent>(&*m); e && e->type == EV_KEY) {
                throughHelper.push_back((now() - (double(e->seconds) + double(e->microseconds) / 1e6)) * 1e6);
                break;
            }
        }
    }
    report("capture, through quillo-inputd", throughHelper);

    // Posting: our own uinput device (baseline) and the helper's virtual keyboard.
    libevdev_uinput* own = keyboard("Bench poster");
    int ownFd = -1;
    libevdev* ownReader = openByName("Bench poster", ownFd);
    report("post, own uinput device (baseline)", roundTrips(ownReader, ownFd, [&](int v) {
               libevdev_uinput_write_event(own, EV_KEY, KEY_A, v);
               libevdev_uinput_write_event(own, EV_SYN, SYN_REPORT, 0);
           }));
    InputdClient poster;
    poster.connect(socket, error);
    poster.send(InputdProtocol::Post{EV_SYN, SYN_REPORT, 0}); // makes the virtual devices
    int virtualFd = -1;
    libevdev* virtualReader = openByName("Quillo virtual keyboard", virtualFd);
    if (!virtualReader) {
        std::fprintf(stderr, "the helper's virtual keyboard did not appear\n");
        return 1;
    }
    report("post, through quillo-inputd", roundTrips(virtualReader, virtualFd, [&](int v) {
               poster.send(InputdProtocol::Post{EV_KEY, KEY_A, v});
               poster.send(InputdProtocol::Post{EV_SYN, SYN_REPORT, 0});
           }));
    report("replay lateness, poster doing nothing (baseline)", replayLateness(nullptr));
    WaylandEventPoster wayland(socket);
    wayland.setLayout([] { return std::vector<Output>{{QStringLiteral("A"), QRectF(0, 0, 1280, 800), 1}}; });
    report("replay lateness, through quillo-inputd", replayLateness(&wayland));
    helper.terminate();
    helper.waitForFinished();
    return 0;
}
