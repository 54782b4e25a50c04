#pragma once

#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Who may use the helper: root, or a member of the group `quillo` who owns an active
// local session (the person at the computer, not someone logged in over the network).
// The lookups are given, so that the rules can be checked with made-up people.
class PeerPolicy
{
public:
    struct Session
    {
        bool active = false;
        bool remote = false;
    };
    struct Lookups
    {
        std::function<std::optional<gid_t>(const std::string& group)> groupId;
        std::function<std::vector<gid_t>(uid_t)> groupsOf;
        std::function<std::string(uid_t)> userName;
        // Nothing when the session manager cannot be asked.
        std::function<std::optional<std::vector<Session>>(uid_t)> sessionsOf;
    };

    inline static const std::string groupName = "quillo";

    explicit PeerPolicy(Lookups lookups) : m_lookups(std::move(lookups)) {}

    // Nothing when `uid` may connect; otherwise the reason, which the client shows.
    std::optional<std::string> refusal(uid_t uid) const;

    // The lookups of this system: the group database and logind on the system bus.
    static Lookups systemLookups();

private:
    Lookups m_lookups;
};
