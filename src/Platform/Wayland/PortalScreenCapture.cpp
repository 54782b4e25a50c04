#include "Platform/Wayland/PortalScreenCapture.h"

#include "Codec/PngCodec.h"
#include "Platform/Wayland/CaptureArea.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

#include <cmath>

namespace {

// Waits for the portal's answer to one request (its Response signal).
class PortalAnswer : public QObject
{
    Q_OBJECT
public:
    bool answered = false;
    uint response = 2;
    QVariantMap results;
    QEventLoop loop;

public Q_SLOTS:
    void take(uint code, const QVariantMap& values)
    {
        answered = true;
        response = code;
        results = values;
        loop.quit();
    }
};

} // namespace

PortalScreenCapture::PortalScreenCapture(QDBusConnection bus, QString service)
    : m_bus(std::move(bus)), m_service(std::move(service))
{
}

bool PortalScreenCapture::available(QDBusConnection bus, const QString& service)
{
    QDBusMessage get = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/portal/desktop"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.portal.Screenshot") << QStringLiteral("version");
    return bus.call(get, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage;
}

Expected<ScreenImage, CaptureError> PortalScreenCapture::captureScreen()
{
    QString unique = m_bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString token = QStringLiteral("quillo%1").arg(++m_requests);
    const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(unique, token);
    PortalAnswer answer;
    // Listening before asking: the answer may come at once.
    m_bus.connect(m_service, request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"),
                  &answer, SLOT(take(uint, QVariantMap)));
    QDBusMessage ask = QDBusMessage::createMethodCall(m_service, QStringLiteral("/org/freedesktop/portal/desktop"),
                                                      QStringLiteral("org.freedesktop.portal.Screenshot"),
                                                      QStringLiteral("Screenshot"));
    ask << QString() << QVariantMap{{QStringLiteral("handle_token"), token}, {QStringLiteral("interactive"), false},
                                    {QStringLiteral("modal"), false}};
    const QDBusMessage asked = m_bus.call(ask, QDBus::Block, timeoutMs);
    if (asked.type() != QDBusMessage::ReplyMessage) {
        m_bus.disconnect(m_service, request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"),
                         &answer, SLOT(take(uint, QVariantMap)));
        return failure(CaptureError{CaptureError::Kind::unavailable,
                                    QStringLiteral("the desktop portal does not take screenshots (%1)")
                                        .arg(asked.errorMessage().left(300))});
    }
    if (!answer.answered) {
        QTimer::singleShot(timeoutMs, &answer.loop, &QEventLoop::quit);
        answer.loop.exec();
    }
    m_bus.disconnect(m_service, request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"),
                     &answer, SLOT(take(uint, QVariantMap)));
    if (!answer.answered)
        return failure(CaptureError{CaptureError::Kind::failed, QStringLiteral("the desktop portal did not answer in time")});
    if (answer.response != 0)
        return failure(CaptureError{CaptureError::Kind::refused,
                                    answer.response == 1 ? QStringLiteral("the screenshot was not allowed")
                                                         : QStringLiteral("the desktop portal could not take the screenshot")});
    const QUrl uri(answer.results.value(QStringLiteral("uri")).toString());
    if (!uri.isLocalFile())
        return failure(CaptureError{CaptureError::Kind::failed, QStringLiteral("the desktop portal named no file")});
    QFile file(uri.toLocalFile());
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxBytes)
        return failure(CaptureError{CaptureError::Kind::failed, QStringLiteral("the screenshot file cannot be read")});
    const QByteArray png = file.read(maxBytes + 1);
    file.close();
    // The picture was taken for Quillo alone: it does not stay among the user's files.
    file.remove();
    const auto size = PngCodec::declaredSize(png);
    if (!size)
        return failure(CaptureError{CaptureError::Kind::failed, QStringLiteral("the screenshot is not a PNG")});
    auto decoded = PngCodec::decode(png, QRectF(0, 0, size->width, size->height), CaptureArea::maxSide);
    if (!decoded)
        return failure(CaptureError{CaptureError::Kind::failed, decoded.error()});
    return std::move(decoded).value();
}

Expected<ScreenImage, CaptureError> PortalScreenCapture::capture(const QRectF& wanted)
{
    auto whole = captureScreen();
    if (!whole.hasValue())
        return whole;
    const ScreenImage& screen = whole.value();
    const auto snapped = CaptureArea::wholePixels(wanted);
    if (!snapped)
        return failure(snapped.error());
    const QRectF area = snapped.value();
    // What lies outside the screen comes back black.
    const int width = int(area.width()), height = int(area.height());
    ScreenImage part{area, width, height, std::vector<std::uint8_t>(std::size_t(width) * std::size_t(height) * 4, 0)};
    for (int y = 0; y < height; ++y) {
        const int sy = int(area.y()) + y;
        if (sy < 0 || sy >= screen.height)
            continue;
        for (int x = 0; x < width; ++x) {
            const int sx = int(area.x()) + x;
            if (sx < 0 || sx >= screen.width)
                continue;
            std::copy_n(&screen.pixels[(std::size_t(sy) * screen.width + sx) * 4], 4,
                        &part.pixels[(std::size_t(y) * width + x) * 4]);
        }
    }
    return part;
}

#include "PortalScreenCapture.moc"
