#include "Platform/Wayland/GnomeShellScreenCapture.h"

#include "Codec/PngCodec.h"
#include "Platform/Wayland/CaptureArea.h"
#include "Platform/Wayland/GnomeProvider.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include <cmath>

namespace {

CaptureError fromReply(const QDBusMessage& reply)
{
    const QString name = reply.errorName();
    if (name == QLatin1String("app.quillo.Shell.Error.NotAllowed"))
        return {CaptureError::Kind::refused, reply.errorMessage().left(300)};
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject"))
        return {CaptureError::Kind::unavailable,
                QStringLiteral("Quillo's GNOME Shell extension does not answer (is it installed and on, in its "
                               "latest version? Log out and in after an update)")};
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply"))
        return {CaptureError::Kind::failed, QStringLiteral("GNOME Shell did not answer in time")};
    return {CaptureError::Kind::failed, reply.errorMessage().left(300)};
}

} // namespace

GnomeShellScreenCapture::GnomeShellScreenCapture(std::function<std::vector<Output>()> outputs, QDBusConnection bus)
    : m_outputs(std::move(outputs)), m_bus(std::move(bus))
{
}

GnomeShellScreenCapture::~GnomeShellScreenCapture()
{
    if (m_ownsName)
        m_bus.unregisterService(applicationName);
}

bool GnomeShellScreenCapture::tell(bool on, QString* problem)
{
    if (!m_ownsName) {
        if (!m_bus.registerService(applicationName)) {
            *problem = QStringLiteral("another program holds %1 on the session bus (another Quillo?)").arg(applicationName);
            return false;
        }
        m_ownsName = true;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(GnomeProvider::service, GnomeProvider::path,
                                                          GnomeProvider::interface, QStringLiteral("SetScreenReading"));
    message << on;
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, timeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    *problem = fromReply(reply).detail;
    return false;
}

void GnomeShellScreenCapture::setReading(bool on)
{
    std::lock_guard lock(m_mutex);
    const int before = m_readers;
    m_readers = std::max(0, m_readers + (on ? 1 : -1));
    if ((before == 0) == (m_readers == 0))
        return;
    QString problem;
    if (!tell(m_readers > 0, &problem) && m_readers > 0)
        m_problem = problem;
    else
        m_problem.clear();
}

Expected<ScreenImage, CaptureError> GnomeShellScreenCapture::captureScreen()
{
    const auto whole = CaptureArea::wholeScreen(m_outputs(), QStringLiteral("GNOME reports no monitors"));
    if (!whole)
        return failure(whole.error());
    return capture(whole.value());
}

Expected<ScreenImage, CaptureError> GnomeShellScreenCapture::capture(const QRectF& wanted)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_readers == 0)
            return failure(CaptureError{CaptureError::Kind::refused,
                                        QStringLiteral("the screen is read only while a recording or a playback "
                                                       "that uses it runs")});
        if (!m_problem.isEmpty())
            return failure(CaptureError{CaptureError::Kind::refused, m_problem});
    }
    const auto snapped = CaptureArea::wholePixels(wanted);
    if (!snapped)
        return failure(snapped.error());
    const QRectF area = snapped.value();
    QDBusMessage message = QDBusMessage::createMethodCall(GnomeProvider::service, GnomeProvider::path,
                                                          GnomeProvider::interface, QStringLiteral("CaptureArea"));
    message << int(area.x()) << int(area.y()) << int(area.width()) << int(area.height());
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return failure(fromReply(reply));
    if (reply.arguments().size() != 1 || reply.arguments().front().metaType() != QMetaType::fromType<QByteArray>())
        return failure(CaptureError{CaptureError::Kind::failed, QStringLiteral("GNOME Shell answered something else")});
    const QByteArray png = reply.arguments().front().toByteArray();
    if (png.size() > maxBytes)
        return failure(CaptureError{CaptureError::Kind::failed, QStringLiteral("GNOME Shell sent more than a screen")});
    auto decoded = PngCodec::decode(png, area, CaptureArea::maxSide);
    if (!decoded)
        return failure(CaptureError{CaptureError::Kind::failed, decoded.error()});
    return std::move(decoded).value();
}
