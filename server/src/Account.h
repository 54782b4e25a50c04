#pragma once

#include <QString>

// An account of the service (the application has its own view of it, CloudUser).
struct Account {
    QString uid;
    QString email;
    QString displayName; // empty: none
    QString photoURL;    // empty: none

    bool operator==(const Account&) const = default;
};
