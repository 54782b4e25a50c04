#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;

// Asks Quillo Cloud which version is current and compares it with this one. Checks
// only when asked; never downloads anything. Main thread only.
class UpdateCheckerService : public QObject
{
    Q_OBJECT
public:
    struct State
    {
        enum class Kind
        {
            idle,
            checking,
            upToDate,
            available,
            failed
        };
        Kind kind = Kind::idle;
        QString latest;   // upToDate, available
        QUrl downloadURL; // available
        QString message;  // failed

        bool operator==(const State&) const = default;
    };
    static constexpr int timeoutMs = 10'000;

    // `currentVersion` empty: this build's version.
    explicit UpdateCheckerService(QUrl baseURL, QString currentVersion = {}, QObject* parent = nullptr);

    const State& state() const { return m_state; }
    const QString& currentVersion() const { return m_currentVersion; }
    const QUrl& baseURL() const { return m_baseURL; }

    // Does nothing while a check runs; every outcome ends in `state`.
    void check();

    // Whether version `a` is newer than `b`: surrounding spaces and one leading "v"
    // do not count; runs of digits compare by their value (so 1.01 equals 1.1);
    // a longer text that starts like the shorter one is newer (1.2.0 > 1.2).
    static bool isNewer(const QString& a, const QString& b);
    // Without spaces and tabs at either end (line breaks stay).
    static QString trimmedHorizontally(const QString& text);

Q_SIGNALS:
    void stateChanged();

private:
    void finish(State state);

    State m_state;
    QUrl m_baseURL;
    QString m_currentVersion;
    QNetworkAccessManager* m_network;
};
