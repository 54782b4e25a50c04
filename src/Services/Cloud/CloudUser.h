#pragma once

#include <QString>
#include <optional>

// The signed-in person as Quillo Cloud reports them.
struct CloudUser
{
    QString uid;
    QString email;
    std::optional<QString> displayName;
    std::optional<QString> photoURL;

    bool operator==(const CloudUser&) const = default;
};
