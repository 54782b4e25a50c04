#include "PeerPolicy.h"

#include <algorithm>

std::optional<std::string> PeerPolicy::refusal(uid_t uid) const
{
    if (uid == 0)
        return std::nullopt;
    const std::string user = m_lookups.userName(uid);
    const std::optional<gid_t> group = m_lookups.groupId(groupName);
    if (!group)
        return "the group \"" + groupName + "\" does not exist on this system (reinstall the quillo package, or: sudo groupadd --system quillo)";
    const std::vector<gid_t> groups = m_lookups.groupsOf(uid);
    if (std::find(groups.begin(), groups.end(), *group) == groups.end())
        return user + " is not in the group \"" + groupName + "\" (sudo usermod -aG " + groupName + " " + user +
               ", then log in again)";
    const auto sessions = m_lookups.sessionsOf(uid);
    if (!sessions)
        return "the session manager (logind) does not answer, so the helper cannot tell whether " + user +
               " is at this computer";
    const bool atTheComputer = std::any_of(sessions->begin(), sessions->end(),
                                           [](const Session& s) { return s.active && !s.remote; });
    if (!atTheComputer)
        return user + " has no active session at this computer (the helper serves only the person in front of it, "
                      "not remote logins)";
    return std::nullopt;
}
