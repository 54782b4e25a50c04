#pragma once

#include <QString>

// An account of the service.
struct CloudUser {
    QString uid;
    QString email;
    QString displayName; // empty: none
    QString photoURL;    // empty: none

    bool operator==(const CloudUser&) const = default;
};
