#include "Platform/Wayland/KWinProvider.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

const QString kKWin = QStringLiteral("org.kde.KWin");
const QString kBridgeName = QStringLiteral("quillo-bridge");

QDBusMessage call(const QString& path, const QString& interface, const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(kKWin, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, 2000);
}

} // namespace

KWinProvider::KWinProvider(QString scriptPath, QObject* parent)
    : DesktopProvider(parent), m_scriptPath(scriptPath.isEmpty() ? installedScript() : std::move(scriptPath))
{
}

KWinProvider::~KWinProvider()
{
    call(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("unloadScript"),
         {kBridgeName});
    // The name goes with the provider, so that the next one (or another Quillo) can take it.
    if (m_registered) {
        QDBusConnection::sessionBus().unregisterService(bridgeService);
        QDBusConnection::sessionBus().unregisterObject(bridgePath);
    }
}

QString KWinProvider::installedScript()
{
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("quillo/kwin/bridge.js"));
}

bool KWinProvider::runScript(const QString& file, const QString& name, QString* problem)
{
    const QDBusMessage loaded = call(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"),
                                     QStringLiteral("loadScript"), {file, name});
    if (loaded.type() != QDBusMessage::ReplyMessage || loaded.arguments().value(0).toInt() < 0) {
        if (problem)
            *problem = QStringLiteral("KWin does not load Quillo's script (%1)")
                           .arg(loaded.errorMessage().isEmpty() ? QStringLiteral("it refused") : loaded.errorMessage());
        return false;
    }
    const int id = loaded.arguments().value(0).toInt();
    // Plasma 6 puts the script at /Scripting/ScriptN, 5.27 at /N.
    QDBusMessage ran = call(QStringLiteral("/Scripting/Script%1").arg(id), QStringLiteral("org.kde.kwin.Script"),
                            QStringLiteral("run"));
    if (ran.type() != QDBusMessage::ReplyMessage)
        ran = call(QStringLiteral("/%1").arg(id), QStringLiteral("org.kde.kwin.Script"), QStringLiteral("run"));
    if (ran.type() != QDBusMessage::ReplyMessage) {
        if (problem)
            *problem = QStringLiteral("KWin does not run Quillo's script (%1)").arg(ran.errorMessage());
        return false;
    }
    return true;
}

bool KWinProvider::start(QString* problem)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (m_scriptPath.isEmpty() || !QFile::exists(m_scriptPath)) {
        if (problem)
            *problem = QStringLiteral("Quillo's KWin script is not installed (quillo/kwin/bridge.js; reinstall the package)");
        return false;
    }
    if (!bus.registerObject(bridgePath, this, QDBusConnection::ExportScriptableSlots)) {
        if (problem)
            *problem = QStringLiteral("the session bus refuses the object %1 (is another Quillo running?)").arg(bridgePath);
        return false;
    }
    if (!bus.registerService(bridgeService)) {
        bus.unregisterObject(bridgePath);
        if (problem)
            *problem = QStringLiteral("the session bus refuses the name %1 (is another Quillo running?)").arg(bridgeService);
        return false;
    }
    m_registered = true;
    // A script of the same name left by an earlier run goes first.
    call(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("unloadScript"),
         {kBridgeName});
    return runScript(m_scriptPath, kBridgeName, problem);
}

void KWinProvider::activeWindowChanged(const QString& desktopFileName, const QString& resourceClass)
{
    const QString id = desktopFileName.isEmpty() ? resourceClass : desktopFileName;
    if (id.isEmpty())
        return;
    RunningApplication app{id, m_entries.nameFor(id)};
    {
        QMutexLocker guard(&m_lock);
        m_front = app;
    }
    Q_EMIT applicationActivated(app);
}

void KWinProvider::cursorMoved(int x, int y)
{
    QMutexLocker guard(&m_lock);
    m_cursor = QPointF(x, y);
}

void KWinProvider::screensChanged(const QString& json)
{
    std::vector<Output> outputs;
    for (const QJsonValue value : QJsonDocument::fromJson(json.toUtf8()).array()) {
        const QJsonObject s = value.toObject();
        outputs.push_back({s.value(QStringLiteral("name")).toString(),
                           QRectF(s.value(QStringLiteral("x")).toDouble(), s.value(QStringLiteral("y")).toDouble(),
                                  s.value(QStringLiteral("width")).toDouble(), s.value(QStringLiteral("height")).toDouble()),
                           s.value(QStringLiteral("scale")).toDouble(1)});
    }
    QMutexLocker guard(&m_lock);
    m_outputs = std::move(outputs);
    m_screensReported = true;
}

bool KWinProvider::hasReported() const
{
    // The script tells the screens last of its first report.
    QMutexLocker guard(&m_lock);
    return m_screensReported;
}

std::optional<RunningApplication> KWinProvider::frontmostApplication()
{
    QMutexLocker guard(&m_lock);
    return m_front;
}

std::vector<Output> KWinProvider::outputs()
{
    QMutexLocker guard(&m_lock);
    return m_outputs;
}

bool KWinProvider::pointerPosition(double& x, double& y)
{
    QMutexLocker guard(&m_lock);
    if (!m_cursor)
        return false;
    x = m_cursor->x();
    y = m_cursor->y();
    return true;
}

bool KWinProvider::activate(const QString& id)
{
    // A one-off script naming the window; the id is written as a JSON string.
    QTemporaryFile script(QDir::tempPath() + QStringLiteral("/quillo-activate-XXXXXX.js"));
    if (!script.open())
        return false;
    const QByteArray wanted = QJsonDocument(QJsonArray{id}).toJson(QJsonDocument::Compact);
    // Plasma 6 names (windowList, activeWindow), else 5.27's (clientList, activeClient).
    script.write("const wanted = " + wanted.mid(1, wanted.size() - 2) + ";\n"
                 "const plasma6 = workspace.windowList !== undefined;\n"
                 "for (const w of plasma6 ? workspace.windowList() : workspace.clientList()) {\n"
                 "    if (w.desktopFileName === wanted || w.resourceClass === wanted) {\n"
                 "        if (plasma6)\n"
                 "            workspace.activeWindow = w;\n"
                 "        else\n"
                 "            workspace.activeClient = w;\n"
                 "        break;\n"
                 "    }\n"
                 "}\n");
    script.flush();
    int number = 0;
    {
        QMutexLocker guard(&m_lock);
        number = ++m_activations;
    }
    const QString name = QStringLiteral("quillo-activate-%1").arg(number);
    const bool ran = runScript(script.fileName(), name, nullptr);
    call(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("unloadScript"), {name});
    return ran;
}
