#include "Platform/Wayland/SwayProvider.h"

#include "Platform/Linux/UnixRequest.h"
#include "Platform/Wayland/SwayIpc.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLocalSocket>
#include <cstring>
#include <functional>

namespace {

using namespace SwayIpc;

// The criteria value written for sway's command parser.
QString quoted(const QString& value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

SwayProvider::SwayProvider(QString socketPath, QObject* parent)
    : DesktopProvider(parent), m_path(socketPath.isEmpty() ? qEnvironmentVariable("SWAYSOCK") : std::move(socketPath))
{
}

SwayProvider::~SwayProvider() = default;

bool SwayProvider::start(QString* problem)
{
    if (m_path.isEmpty()) {
        if (problem)
            *problem = QStringLiteral("SWAYSOCK is not set, so sway cannot be asked");
        return false;
    }
    m_events = new QLocalSocket(this);
    m_events->connectToServer(m_path);
    if (!m_events->waitForConnected(1000) || !request(getOutputs)) {
        if (problem)
            *problem = QStringLiteral("sway's IPC socket %1 does not answer").arg(m_path);
        return false;
    }
    connect(m_events, &QLocalSocket::readyRead, this, &SwayProvider::readEvents);
    m_events->write(frame(subscribe, QByteArrayLiteral("[\"window\"]")));
    return true;
}

std::optional<QJsonDocument> SwayProvider::request(quint32 type, const QByteArray& payload)
{
    // A connection of its own for each request: the player's thread activates
    // applications and reads the layout while the main thread follows focus events.
    std::optional<QJsonDocument> result;
    unixRequest(m_path, frame(type, payload), [&](const QByteArray& received) {
        QByteArray buffer = received;
        quint32 replyType = 0;
        QByteArray reply;
        if (!takeMessage(buffer, replyType, reply))
            return false;
        result = QJsonDocument::fromJson(reply);
        return true;
    }, 2000);
    return result;
}

RunningApplication SwayProvider::applicationOf(const QJsonObject& node)
{
    QString id = node.value(QStringLiteral("app_id")).toString();
    if (id.isEmpty()) // an X client under XWayland
        id = node.value(QStringLiteral("window_properties")).toObject().value(QStringLiteral("class")).toString();
    return RunningApplication{id, m_entries.nameFor(id)};
}

void SwayProvider::readEvents()
{
    m_eventBuffer += m_events->readAll();
    quint32 type = 0;
    QByteArray payload;
    while (takeMessage(m_eventBuffer, type, payload)) {
        if (type != windowEvent)
            continue;
        const QJsonObject event = QJsonDocument::fromJson(payload).object();
        if (event.value(QStringLiteral("change")).toString() != QLatin1String("focus"))
            continue;
        const RunningApplication app = applicationOf(event.value(QStringLiteral("container")).toObject());
        if (!app.id.isEmpty())
            Q_EMIT applicationActivated(app);
    }
}

std::optional<RunningApplication> SwayProvider::frontmostApplication()
{
    const auto tree = request(getTree);
    if (!tree)
        return std::nullopt;
    std::optional<RunningApplication> found;
    std::function<void(const QJsonObject&)> walk = [&](const QJsonObject& node) {
        if (found)
            return;
        if (node.value(QStringLiteral("focused")).toBool() && node.contains(QStringLiteral("pid"))) {
            found = applicationOf(node);
            return;
        }
        for (const QString& key : {QStringLiteral("nodes"), QStringLiteral("floating_nodes")})
            for (const QJsonValue child : node.value(key).toArray())
                walk(child.toObject());
    };
    walk(tree->object());
    if (found && found->id.isEmpty())
        return std::nullopt;
    return found;
}

bool SwayProvider::activate(const QString& id)
{
    auto run = [&](const QString& criterion) {
        const auto reply = request(runCommand, QStringLiteral("[%1=%2] focus").arg(criterion, quoted(id)).toUtf8());
        return reply && reply->array().first().toObject().value(QStringLiteral("success")).toBool();
    };
    return run(QStringLiteral("app_id")) || run(QStringLiteral("class"));
}

std::vector<Output> SwayProvider::outputs()
{
    std::vector<Output> result;
    const auto reply = request(getOutputs);
    if (!reply)
        return result;
    for (const QJsonValue value : reply->array()) {
        const QJsonObject output = value.toObject();
        if (!output.value(QStringLiteral("active")).toBool())
            continue;
        const QJsonObject rect = output.value(QStringLiteral("rect")).toObject();
        result.push_back({output.value(QStringLiteral("name")).toString(),
                          QRectF(rect.value(QStringLiteral("x")).toDouble(), rect.value(QStringLiteral("y")).toDouble(),
                                 rect.value(QStringLiteral("width")).toDouble(),
                                 rect.value(QStringLiteral("height")).toDouble()),
                          output.value(QStringLiteral("scale")).toDouble(1)});
    }
    return result;
}

bool SwayProvider::placePointer(double x, double y)
{
    const auto reply =
        request(runCommand, QStringLiteral("seat - cursor set %1 %2").arg(qRound(x)).arg(qRound(y)).toUtf8());
    return reply && reply->array().first().toObject().value(QStringLiteral("success")).toBool();
}
