#pragma once

#include "Models/Macro.h"

#include <QByteArray>
#include <QSettings>
#include <QUuid>
#include <vector>

// The recordings still to be backed up to Quillo Cloud, kept in the settings so that
// one saved at quit, after a signal or while offline goes up at the next chance. Each
// entry holds the macro's id, a fingerprint of its actions (a recording that went into
// a file of its own because the library refused it is known again when that file is
// imported, under the new id the import gives it) and the account signed in when it
// was saved, whose backup it goes to and no one else's (empty: the sign-in was not yet
// confirmed; it goes to the account the stored sign-in turns out to be). Written at
// once on every change.
class PendingBackups
{
public:
    struct Entry
    {
        QUuid id;
        QByteArray fingerprint; // SHA-256 of the actions, hex
        QString account;        // the account's uid, or empty

        bool operator==(const Entry&) const = default;
    };

    // At most this many are kept; the oldest are dropped first.
    static constexpr int maxEntries = 200;

    explicit PendingBackups(QSettings& settings);

    std::vector<Entry> entries() const;
    void add(const Macro& macro, const QString& account);
    void remove(const QUuid& id);
    // A macro just imported: when its actions are those of a waiting recording that is
    // no longer in the library, the entry moves to its id. Whether one did.
    bool adopt(const Macro& imported, const std::vector<Macro>& library);

    static QByteArray fingerprint(const Macro& macro);

private:
    void store(const std::vector<Entry>& entries);

    QSettings& m_settings;
};
