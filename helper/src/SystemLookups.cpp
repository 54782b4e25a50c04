// PeerPolicy's lookups on a real system: the group database and logind.
#include "PeerPolicy.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

struct SessionEntry
{
    QString id;
    uint uid = 0;
    QString user;
    QString seat;
    QDBusObjectPath path;
};

const QDBusArgument& operator>>(const QDBusArgument& argument, SessionEntry& entry)
{
    argument.beginStructure();
    argument >> entry.id >> entry.uid >> entry.user >> entry.seat >> entry.path;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const SessionEntry& entry)
{
    argument.beginStructure();
    argument << entry.id << entry.uid << entry.user << entry.seat << entry.path;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(SessionEntry)

PeerPolicy::Lookups PeerPolicy::systemLookups()
{
    qDBusRegisterMetaType<SessionEntry>();
    qDBusRegisterMetaType<QList<SessionEntry>>();
    Lookups lookups;
    lookups.groupId = [](const std::string& name) -> std::optional<gid_t> {
        if (const group* g = getgrnam(name.c_str()))
            return g->gr_gid;
        return std::nullopt;
    };
    lookups.userName = [](uid_t uid) -> std::string {
        if (const passwd* p = getpwuid(uid))
            return p->pw_name;
        return "user " + std::to_string(uid);
    };
    lookups.groupsOf = [](uid_t uid) {
        std::vector<gid_t> groups;
        const passwd* p = getpwuid(uid);
        if (!p)
            return groups;
        int count = 64;
        groups.resize(std::size_t(count));
        if (getgrouplist(p->pw_name, p->pw_gid, groups.data(), &count) < 0) {
            groups.resize(std::size_t(count));
            getgrouplist(p->pw_name, p->pw_gid, groups.data(), &count);
        }
        groups.resize(std::size_t(count));
        return groups;
    };
    lookups.sessionsOf = [](uid_t uid) -> std::optional<std::vector<Session>> {
        QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected())
            return std::nullopt;
        QDBusInterface manager(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                               QStringLiteral("org.freedesktop.login1.Manager"), bus);
        QDBusReply<QList<SessionEntry>> reply = manager.call(QStringLiteral("ListSessions"));
        if (!reply.isValid())
            return std::nullopt;
        std::vector<Session> sessions;
        for (const SessionEntry& entry : reply.value()) {
            if (entry.uid != uid)
                continue;
            QDBusInterface session(QStringLiteral("org.freedesktop.login1"), entry.path.path(),
                                   QStringLiteral("org.freedesktop.login1.Session"), bus);
            sessions.push_back({session.property("Active").toBool(), session.property("Remote").toBool()});
        }
        return sessions;
    };
    return lookups;
}
