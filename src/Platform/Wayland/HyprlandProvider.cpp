#include "Platform/Wayland/HyprlandProvider.h"

#include "Platform/Linux/UnixRequest.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QLocalSocket>


namespace {

QString defaultFolder()
{
    const QString signature = qEnvironmentVariable("HYPRLAND_INSTANCE_SIGNATURE");
    if (signature.isEmpty())
        return {};
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString current = runtime + QStringLiteral("/hypr/") + signature;
    if (!runtime.isEmpty() && QFileInfo::exists(current + QStringLiteral("/.socket.sock")))
        return current;
    return QStringLiteral("/tmp/hypr/") + signature;
}

} // namespace

HyprlandProvider::HyprlandProvider(QString folder, QObject* parent)
    : DesktopProvider(parent), m_folder(folder.isEmpty() ? defaultFolder() : std::move(folder))
{
}

std::optional<QByteArray> HyprlandProvider::request(const QByteArray& command) const
{
    // A connection of its own for each request (Hyprland closes it after the reply): the
    // tap's thread asks for the pointer while the main thread works.
    if (m_folder.isEmpty())
        return std::nullopt;
    return unixRequest(m_folder + QStringLiteral("/.socket.sock"), command, {}, 1000);
}

bool HyprlandProvider::start(QString* problem)
{
    if (!request(QByteArrayLiteral("j/version"))) {
        if (problem)
            *problem = m_folder.isEmpty() ? QStringLiteral("HYPRLAND_INSTANCE_SIGNATURE is not set, so Hyprland cannot be asked")
                                          : QStringLiteral("Hyprland's socket in %1 does not answer").arg(m_folder);
        return false;
    }
    m_events = new QLocalSocket(this);
    m_events->connectToServer(m_folder + QStringLiteral("/.socket2.sock"));
    connect(m_events, &QLocalSocket::readyRead, this, &HyprlandProvider::readEvents);
    return true;
}

void HyprlandProvider::readEvents()
{
    m_eventBuffer += m_events->readAll();
    qsizetype end;
    while ((end = m_eventBuffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_eventBuffer.left(end);
        m_eventBuffer.remove(0, end + 1);
        if (line.startsWith("custom>>")) {
            Q_EMIT customEvent(QString::fromUtf8(line.mid(8)));
            continue;
        }
        // "activewindow>>CLASS,TITLE": the class is the application's id.
        if (!line.startsWith("activewindow>>"))
            continue;
        const QByteArray rest = line.mid(14);
        const QString id = QString::fromUtf8(rest.left(rest.indexOf(',')));
        if (!id.isEmpty())
            Q_EMIT applicationActivated(RunningApplication{id, m_entries.nameFor(id)});
    }
}

std::optional<RunningApplication> HyprlandProvider::frontmostApplication()
{
    const auto reply = request(QByteArrayLiteral("j/activewindow"));
    if (!reply)
        return std::nullopt;
    const QString id = QJsonDocument::fromJson(*reply).object().value(QStringLiteral("class")).toString();
    if (id.isEmpty())
        return std::nullopt;
    return RunningApplication{id, m_entries.nameFor(id)};
}

bool HyprlandProvider::activate(const QString& id)
{
    // A regular expression that matches the class exactly.
    const QString pattern = QStringLiteral("^(%1)$").arg(QRegularExpression::escape(id));
    const auto reply = request(QByteArrayLiteral("dispatch focuswindow class:") + pattern.toUtf8());
    return reply && reply->trimmed() == "ok";
}

std::vector<Output> HyprlandProvider::outputs()
{
    std::vector<Output> result;
    const auto reply = request(QByteArrayLiteral("j/monitors"));
    if (!reply)
        return result;
    for (const QJsonValue value : QJsonDocument::fromJson(*reply).array()) {
        const QJsonObject m = value.toObject();
        const double scale = m.value(QStringLiteral("scale")).toDouble(1);
        // Hyprland reports the mode in pixels; the layout is in logical pixels.
        const bool sideways = m.value(QStringLiteral("transform")).toInt() % 2 == 1;
        double width = m.value(QStringLiteral("width")).toDouble() / scale;
        double height = m.value(QStringLiteral("height")).toDouble() / scale;
        if (sideways)
            std::swap(width, height);
        result.push_back({m.value(QStringLiteral("name")).toString(),
                          QRectF(m.value(QStringLiteral("x")).toDouble(), m.value(QStringLiteral("y")).toDouble(), width,
                                 height),
                          scale});
    }
    return result;
}

bool HyprlandProvider::pointerPosition(double& x, double& y)
{
    const auto reply = request(QByteArrayLiteral("j/cursorpos"));
    if (!reply)
        return false;
    const QJsonObject position = QJsonDocument::fromJson(*reply).object();
    if (!position.contains(QStringLiteral("x")))
        return false;
    x = position.value(QStringLiteral("x")).toDouble();
    y = position.value(QStringLiteral("y")).toDouble();
    return true;
}
