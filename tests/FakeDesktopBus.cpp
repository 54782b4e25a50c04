// A stand-in for GNOME Shell's Quillo extension and for KWin's scripting interface on
// the session bus, for the provider tests. GNOME: fixed answers, Activate emits
// FocusChanged. KWin: loadScript keeps the file; running the bridge script pushes an
// active window, a cursor and screens to Quillo's bridge as the real script would;
// running an activation script pushes the window it names. Portal (as
// app.quillo.test.Portal, so that a real portal is never woken): Screenshot answers on
// the request's path with a file of a 64 x 48 screen, left half red, right half green, or
// with the answer the test set through SetAnswer.
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QDir>
#include "Codec/PngCodec.h"
#include <QTimer>
#include <QUrl>
#include <QRegularExpression>
#include <cstdio>

namespace {

void push(const QString& method, const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("app.quillo.KWinBridge"), QStringLiteral("/KWinBridge"),
                                                          QStringLiteral("app.quillo.KWinBridge"), method);
    message.setArguments(arguments);
    QDBusConnection::sessionBus().call(message, QDBus::NoBlock);
}

} // namespace

class Shell : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "app.quillo.Shell")
public Q_SLOTS:
    Q_SCRIPTABLE int GetPointer(int& y)
    {
        y = 360;
        return 640;
    }
    Q_SCRIPTABLE QString GetFocusedApp(QString& name)
    {
        name = m_name;
        return m_id;
    }
    Q_SCRIPTABLE bool Activate(const QString& id)
    {
        if (id != QLatin1String("org.gnome.Calculator"))
            return false;
        m_id = QStringLiteral("org.gnome.Calculator.desktop");
        m_name = QStringLiteral("Calculator");
        Q_EMIT FocusChanged(m_id, m_name);
        return true;
    }
    Q_SCRIPTABLE QString GetMonitors()
    {
        return QStringLiteral(R"([{"name":"monitor-0","x":0,"y":0,"width":1920,"height":1080,"scale":2},)"
                              R"({"name":"monitor-1","x":1920,"y":-200,"width":1280,"height":1024,"scale":1}])");
    }
Q_SIGNALS:
    Q_SCRIPTABLE void FocusChanged(const QString& id, const QString& name);

private:
    QString m_id = QStringLiteral("org.gnome.TextEditor.desktop");
    QString m_name = QStringLiteral("Text Editor");
};

class Script : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Script")
public:
    explicit Script(QString text, QObject* parent) : QObject(parent), m_text(std::move(text)) {}
public Q_SLOTS:
    Q_SCRIPTABLE void run()
    {
        if (m_text.contains(QLatin1String("app.quillo.KWinBridge"))) {
            push(QStringLiteral("activeWindowChanged"), {QStringLiteral("org.kde.kate"), QStringLiteral("kate")});
            push(QStringLiteral("cursorMoved"), {100, 200});
            push(QStringLiteral("screensChanged"),
                 {QStringLiteral(R"([{"name":"DP-1","x":0,"y":0,"width":2560,"height":1440,"scale":1.25}])")});
            return;
        }
        const auto wanted = QRegularExpression(QStringLiteral("const wanted = \"([^\"]*)\"")).match(m_text);
        if (wanted.hasMatch() && wanted.captured(1) == QLatin1String("org.kde.dolphin"))
            push(QStringLiteral("activeWindowChanged"), {wanted.captured(1), QStringLiteral("dolphin")});
    }

private:
    QString m_text;
};

class Scripting : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Scripting")
public Q_SLOTS:
    Q_SCRIPTABLE int loadScript(const QString& path, const QString& name)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return -1;
        const int id = ++m_next;
        auto* script = new Script(QString::fromUtf8(file.readAll()), this);
        QDBusConnection::sessionBus().registerObject(QStringLiteral("/Scripting/Script%1").arg(id), script,
                                                     QDBusConnection::ExportScriptableSlots);
        std::printf("loaded %s\n", qPrintable(name));
        std::fflush(stdout);
        return id;
    }
    Q_SCRIPTABLE bool unloadScript(const QString& name)
    {
        std::printf("unloaded %s\n", qPrintable(name));
        std::fflush(stdout);
        return true;
    }

private:
    int m_next = 0;
};

class Portal : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")
    Q_PROPERTY(uint version READ version SCRIPTABLE true)
public:
    uint version() const { return 2; }
public Q_SLOTS:
    Q_SCRIPTABLE QDBusObjectPath Screenshot(const QString& parent, const QVariantMap& options)
    {
        Q_UNUSED(parent);
        QString sender = message().service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                 .arg(sender, options.value(QStringLiteral("handle_token")).toString());
        const QString to = message().service();
        interactive = options.value(QStringLiteral("interactive")).toBool();
        QTimer::singleShot(20, this, [this, path, to] {
            QVariantMap results;
            if (answer == 0) {
                ScreenImage screen{QRectF(0, 0, 64, 48), 64, 48, std::vector<std::uint8_t>(64 * 48 * 4)};
                for (int y = 0; y < 48; ++y)
                    for (int x = 0; x < 64; ++x) {
                        std::uint8_t* p = &screen.pixels[std::size_t(y * 64 + x) * 4];
                        const unsigned rgb = x < 32 ? 0xc03020 : 0x20a040;
                        p[0] = rgb & 0xff, p[1] = rgb >> 8 & 0xff, p[2] = rgb >> 16 & 0xff;
                    }
                const QString file = QDir::temp().filePath(QStringLiteral("quillo-fake-portal-%1.png").arg(++shots));
                QFile out(file);
                if (out.open(QIODevice::WriteOnly))
                    out.write(PngCodec::encode(screen).value());
                results.insert(QStringLiteral("uri"), QUrl::fromLocalFile(file).toString());
            }
            QDBusMessage response = QDBusMessage::createTargetedSignal(to, path, QStringLiteral("org.freedesktop.portal.Request"),
                                                                       QStringLiteral("Response"));
            response << answer << results;
            QDBusConnection::sessionBus().send(response);
        });
        return QDBusObjectPath(path);
    }
    Q_SCRIPTABLE void SetAnswer(uint code) { answer = code; }
    Q_SCRIPTABLE bool WasInteractive() { return interactive; }

private:
    uint answer = 0;
    int shots = 0;
    bool interactive = true;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    Shell shell;
    Scripting scripting;
    Portal portal;
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                            QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableProperties) ||
        !bus.registerService(QStringLiteral("app.quillo.test.Portal"))) {
        std::fprintf(stderr, "fake desktop bus: cannot register the portal\n");
        return 1;
    }
    if (!bus.registerObject(QStringLiteral("/app/quillo/Shell"), &shell,
                            QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals) ||
        !bus.registerObject(QStringLiteral("/Scripting"), &scripting, QDBusConnection::ExportScriptableSlots) ||
        !bus.registerService(QStringLiteral("org.gnome.Shell")) || !bus.registerService(QStringLiteral("org.kde.KWin"))) {
        std::fprintf(stderr, "fake desktop bus: cannot register on the session bus\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

#include "FakeDesktopBus.moc"
