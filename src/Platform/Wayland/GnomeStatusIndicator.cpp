#include "Platform/Wayland/GnomeStatusIndicator.h"

#include "Platform/Wayland/GnomeProvider.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QDBusMessage call(const QString& method, const QVariantList& arguments, QDBus::CallMode mode = QDBus::Block)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(GnomeProvider::service, GnomeProvider::path, GnomeProvider::interface, method);
    message.setArguments(arguments);
    if (mode == QDBus::NoBlock) {
        QDBusConnection::sessionBus().send(message);
        return {};
    }
    return QDBusConnection::sessionBus().call(message, mode, 1000);
}

} // namespace

GnomeStatusIndicator::GnomeStatusIndicator(QObject* parent) : StatusIndicator(parent) {}

bool GnomeStatusIndicator::isAvailable()
{
    const QDBusMessage reply = call(QStringLiteral("GetIndicatorAreas"), {});
    if (reply.type() != QDBusMessage::ReplyMessage)
        return false;
    if (!m_connected) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.connect(GnomeProvider::service, GnomeProvider::path, GnomeProvider::interface,
                    QStringLiteral("IndicatorActivated"), this, SLOT(chosen(QString, QString)));
        bus.connect(GnomeProvider::service, GnomeProvider::path, GnomeProvider::interface,
                    QStringLiteral("IndicatorMenuOpened"), this, SLOT(opened()));
        m_connected = true;
    }
    return true;
}

QString GnomeStatusIndicator::menuJson(const std::vector<Entry>& menu)
{
    QJsonArray entries;
    for (const Entry& e : menu)
        entries.append(e.separator ? QJsonObject{{QStringLiteral("separator"), true}}
                                   : QJsonObject{{QStringLiteral("id"), e.id},
                                                 {QStringLiteral("label"), e.label},
                                                 {QStringLiteral("enabled"), e.enabled}});
    return QString::fromUtf8(QJsonDocument(entries).toJson(QJsonDocument::Compact));
}

void GnomeStatusIndicator::show(const QString& state, const std::vector<Entry>& menu)
{
    // Not waited for: the menu is refreshed often while a recording ticks.
    call(QStringLiteral("SetIndicator"), {state, menuJson(menu)}, QDBus::NoBlock);
}

void GnomeStatusIndicator::hide()
{
    call(QStringLiteral("SetIndicator"), {QString(), QString()}, QDBus::NoBlock);
}

void GnomeStatusIndicator::chosen(const QString& id, const QString& areas)
{
    std::vector<QRectF> rects;
    for (const QJsonValue value : QJsonDocument::fromJson(areas.toUtf8()).array()) {
        const QJsonObject r = value.toObject();
        rects.emplace_back(r.value(QStringLiteral("x")).toDouble(), r.value(QStringLiteral("y")).toDouble(),
                           r.value(QStringLiteral("width")).toDouble(), r.value(QStringLiteral("height")).toDouble());
    }
    Q_EMIT activated(id, rects);
}

void GnomeStatusIndicator::opened()
{
    Q_EMIT menuOpened();
}
