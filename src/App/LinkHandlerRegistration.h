#pragma once

#include <QObject>
#include <QString>
#include <functional>

// Makes sure quillo:// links (the cloud sign-in's, "Restore in Quillo" on the dashboard)
// reach a Quillo. An installed Quillo's desktop entry declares them; a Quillo run from
// a build has none, so when no program takes the links for this user, it writes a
// desktop entry of its own into the user's data folder, makes it the default for the
// scheme and logs that. Runs in the background (xdg-mime), never holding up the start.
class LinkHandlerRegistration : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* entryName = "quillo-links.desktop";
    static constexpr const char* mimeType = "x-scheme-handler/quillo";

    // `program`: the executable the links should start.
    explicit LinkHandlerRegistration(QString program, QObject* parent = nullptr);

    void start();
    // The entry for `program`: hidden from menus, the link passed as its one argument.
    static QByteArray desktopEntry(const QString& program);
    // The program a desktop entry's Exec starts (quoted or not), or empty.
    static QString programIn(const QByteArray& entry);
    // The user's own folder of desktop entries ($XDG_DATA_HOME/applications).
    static QString userEntriesFolder();

Q_SIGNALS:
    // `registered`: this run wrote and chose its entry.
    void finished(bool registered);

private:
    void answered(const QString& handler);
    void registerOwn();
    // Whether `entry` names a desktop entry that is there and whose program exists.
    static bool usable(const QString& entry);

    QString m_program;
};
