#pragma once

// Keys pressed into a GNOME session as a keyboard would, through mutter's RemoteDesktop
// interface (evdev codes).
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QThread>
#include <vector>

class MutterRemoteKeyboard
{
public:
    MutterRemoteKeyboard()
    {
        QDBusMessage create = QDBusMessage::createMethodCall(
            QStringLiteral("org.gnome.Mutter.RemoteDesktop"), QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
            QStringLiteral("org.gnome.Mutter.RemoteDesktop"), QStringLiteral("CreateSession"));
        m_session = QDBusConnection::sessionBus().call(create).arguments().value(0).value<QDBusObjectPath>().path();
        if (m_session.isEmpty())
            return;
        call(QStringLiteral("Start"), {});
        // mutter drops the first key of a new session.
        key(42, true);
        key(42, false);
        QThread::msleep(200);
    }
    bool ok() const { return !m_session.isEmpty(); }
    void key(unsigned code, bool pressed) { call(QStringLiteral("NotifyKeyboardKeycode"), {code, pressed}); }
    // Presses the keys in order and lets go of them in reverse; when the last went down
    // (ms of the monotonic clock, as QElapsedTimer counts).
    qint64 chord(const std::vector<unsigned>& codes)
    {
        for (const unsigned code : codes)
            key(code, true);
        QElapsedTimer now;
        now.start();
        const qint64 at = now.msecsSinceReference();
        for (auto it = codes.rbegin(); it != codes.rend(); ++it)
            key(*it, false);
        return at;
    }

private:
    void call(const QString& method, const QVariantList& arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Mutter.RemoteDesktop"), m_session,
                                                              QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session"), method);
        message.setArguments(arguments);
        QDBusConnection::sessionBus().call(message);
    }
    QString m_session;
};
