#include "Platform/Wayland/KWinScreenCapture.h"

#include "Codec/PngCodec.h"
#include "Platform/Wayland/CaptureArea.h"

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDeadlineTimer>
#include <QVariantMap>

#include <cerrno>
#include <functional>
#include <cmath>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// QImage's numbers for the formats KWin writes (they are part of Qt's API).
constexpr uint kRgb32 = 4, kArgb32 = 5, kArgb32Premultiplied = 6, kRgbx8888 = 16, kRgba8888 = 17,
               kRgba8888Premultiplied = 18;

// What KWin writes into the pipe: until it closes it, or until `expected` says (once the
// answer came) how many bytes the picture has; at most `limit`.
std::optional<QByteArray> readPicture(int fd, QDBusPendingCall& pending, qint64 limit, QDeadlineTimer deadline,
                                      const std::function<qint64(const QDBusMessage&)>& expected, QString* problem)
{
    QByteArray data;
    char buffer[65536];
    qint64 wanted = -1;
    for (;;) {
        if (wanted < 0 && pending.isFinished()) {
            const QDBusMessage reply = pending.reply();
            if (reply.type() != QDBusMessage::ReplyMessage)
                return data; // the caller says why
            wanted = expected(reply);
        }
        if (wanted >= 0 && data.size() >= wanted)
            return data;
        if (deadline.hasExpired()) {
            *problem = QStringLiteral("KWin did not send the picture in time");
            return std::nullopt;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, 20);
        if (ready <= 0)
            continue;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            pending.waitForFinished();
            return data;
        }
        data.append(buffer, qsizetype(n));
        if (data.size() > limit) {
            *problem = QStringLiteral("KWin sent more than a screen");
            return std::nullopt;
        }
    }
}

} // namespace

KWinScreenCapture::KWinScreenCapture(std::function<std::vector<Output>()> outputs, QDBusConnection bus)
    : m_outputs(std::move(outputs)), m_bus(std::move(bus))
{
}

Expected<ScreenImage, CaptureError> KWinScreenCapture::captureScreen()
{
    const auto whole = CaptureArea::wholeScreen(m_outputs(), QStringLiteral("KWin reports no screens"));
    if (!whole)
        return failure(whole.error());
    return capture(whole.value());
}

Expected<ScreenImage, CaptureError> KWinScreenCapture::capture(const QRectF& wanted)
{
    const auto snapped = CaptureArea::wholePixels(wanted);
    if (!snapped)
        return failure(snapped.error());
    const QRectF area = snapped.value();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return failure(CaptureError{CaptureError::Kind::failed, QStringLiteral("no pipe for the picture")});
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/org/kde/KWin/ScreenShot2"),
                                                          QStringLiteral("org.kde.KWin.ScreenShot2"), QStringLiteral("CaptureArea"));
    message << int(area.x()) << int(area.y()) << uint(area.width()) << uint(area.height())
            << QVariantMap{{QStringLiteral("native-resolution"), true}, {QStringLiteral("include-cursor"), false}};
    {
        const QDBusUnixFileDescriptor writeEnd(fds[1]); // a copy of its own goes with the message
        message << QVariant::fromValue(writeEnd);
        close(fds[1]);
    }
    const QDeadlineTimer deadline(timeoutMs);
    QDBusPendingCall pending = m_bus.asyncCall(message, timeoutMs);
    message = QDBusMessage(); // this side's copy of the write end goes with it
    QString problem;
    // A raw picture says its size in the answer (the pipe may stay open after it).
    auto expected = [](const QDBusMessage& reply) -> qint64 {
        const QVariantMap results = qdbus_cast<QVariantMap>(reply.arguments().value(0));
        if (results.value(QStringLiteral("type")).toString() != QLatin1String("raw"))
            return -1;
        return results.value(QStringLiteral("stride")).toLongLong() * results.value(QStringLiteral("height")).toLongLong();
    };
    const std::optional<QByteArray> data = readPicture(fds[0], pending, maxBytes, deadline, expected, &problem);
    close(fds[0]);
    pending.waitForFinished();
    const QDBusMessage reply = pending.reply();
    if (reply.type() != QDBusMessage::ReplyMessage) {
        const QString name = reply.errorName();
        if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
            name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"))
            return failure(CaptureError{CaptureError::Kind::unavailable,
                                        QStringLiteral("KWin offers no screenshot interface: its screenshot effect is not loaded (it is "
                                                       "off, or KWin 6 composites without OpenGL, where it has none)")});
        return failure(CaptureError{CaptureError::Kind::refused,
                                    QStringLiteral("KWin refused (%1); it shows the screen only to programs whose desktop "
                                                   "entry lists org.kde.KWin.ScreenShot2, as the one installed with "
                                                   "Quillo's package does")
                                        .arg(reply.errorMessage().left(300))});
    }
    if (!data)
        return failure(CaptureError{CaptureError::Kind::failed, problem});
    const QVariantMap results = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    const QString type = results.value(QStringLiteral("type")).toString();
    if (type.isEmpty() || type == QLatin1String("png")) {
        auto decoded = PngCodec::decode(*data, area, CaptureArea::maxSide);
        if (!decoded)
            return failure(CaptureError{CaptureError::Kind::failed, decoded.error()});
        return std::move(decoded).value();
    }
    const qint64 width = results.value(QStringLiteral("width")).toLongLong();
    const qint64 height = results.value(QStringLiteral("height")).toLongLong();
    const qint64 stride = results.value(QStringLiteral("stride")).toLongLong();
    const uint format = results.value(QStringLiteral("format")).toUInt();
    if (type != QLatin1String("raw") || width <= 0 || height <= 0 || width > CaptureArea::maxSide || height > CaptureArea::maxSide ||
        stride < width * 4 || stride * height > data->size())
        return failure(CaptureError{CaptureError::Kind::failed, QStringLiteral("KWin sent a picture Quillo cannot read")});
    const bool bgra = format == kRgb32 || format == kArgb32 || format == kArgb32Premultiplied;
    const bool rgba = format == kRgbx8888 || format == kRgba8888 || format == kRgba8888Premultiplied;
    if (!bgra && !rgba)
        return failure(CaptureError{CaptureError::Kind::failed,
                                    QStringLiteral("KWin sent a picture in a format Quillo does not read (%1)").arg(format)});
    ScreenImage image{area, int(width), int(height), std::vector<std::uint8_t>(std::size_t(width * height * 4))};
    for (qint64 y = 0; y < height; ++y) {
        const auto* from = reinterpret_cast<const std::uint8_t*>(data->constData() + y * stride);
        std::uint8_t* to = &image.pixels[std::size_t(y * width * 4)];
        for (qint64 x = 0; x < width; ++x, from += 4, to += 4) {
            to[0] = rgba ? from[2] : from[0];
            to[1] = from[1];
            to[2] = rgba ? from[0] : from[2];
            to[3] = 0;
        }
    }
    return image;
}
