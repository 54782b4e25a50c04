#include "Platform/Wayland/GnomeProvider.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QDBusMessage call(const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(GnomeProvider::service, GnomeProvider::path, GnomeProvider::interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, 1000);
}

} // namespace

QString GnomeProvider::applicationId(const QString& desktopId)
{
    return desktopId.endsWith(QLatin1String(".desktop")) ? desktopId.chopped(8) : desktopId;
}

bool GnomeProvider::start(QString* problem)
{
    const QDBusMessage reply = call(QStringLiteral("GetFocusedApp"));
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (problem)
            *problem = QStringLiteral("the Quillo extension of GNOME Shell does not answer (gnome-extensions enable "
                                      "quillo@quillo.app on GNOME 45 and later, quillo-legacy@quillo.app on 42 to 44, "
                                      "then log out and in): %1")
                           .arg(reply.errorMessage());
        return false;
    }
    QDBusConnection::sessionBus().connect(service, path, interface, QStringLiteral("FocusChanged"), this,
                                          SLOT(focusChanged(QString, QString)));
    return true;
}

void GnomeProvider::focusChanged(const QString& desktopId, const QString& name)
{
    if (!desktopId.isEmpty())
        Q_EMIT applicationActivated(RunningApplication{applicationId(desktopId), name});
}

std::optional<RunningApplication> GnomeProvider::frontmostApplication()
{
    const QDBusMessage reply = call(QStringLiteral("GetFocusedApp"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return std::nullopt;
    const QString id = reply.arguments().at(0).toString();
    if (id.isEmpty())
        return std::nullopt;
    return RunningApplication{applicationId(id), reply.arguments().at(1).toString()};
}

bool GnomeProvider::activate(const QString& id)
{
    const QDBusMessage reply = call(QStringLiteral("Activate"), {id});
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

std::vector<Output> GnomeProvider::outputs()
{
    std::vector<Output> result;
    const QDBusMessage reply = call(QStringLiteral("GetMonitors"));
    if (reply.type() != QDBusMessage::ReplyMessage)
        return result;
    for (const QJsonValue value : QJsonDocument::fromJson(reply.arguments().value(0).toString().toUtf8()).array()) {
        const QJsonObject m = value.toObject();
        result.push_back({m.value(QStringLiteral("name")).toString(),
                          QRectF(m.value(QStringLiteral("x")).toDouble(), m.value(QStringLiteral("y")).toDouble(),
                                 m.value(QStringLiteral("width")).toDouble(), m.value(QStringLiteral("height")).toDouble()),
                          m.value(QStringLiteral("scale")).toDouble(1)});
    }
    return result;
}

bool GnomeProvider::pointerPosition(double& x, double& y)
{
    const QDBusMessage reply = call(QStringLiteral("GetPointer"));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return false;
    x = reply.arguments().at(0).toDouble();
    y = reply.arguments().at(1).toDouble();
    return true;
}
