#pragma once

#include "Services/Cloud/CloudAPIClient.h"
#include "Services/Cloud/CloudUser.h"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QSettings;
class SecretStore;

// The person's Quillo Cloud session: signs in through the browser (the sign-in page
// answers with a quillo://auth link carrying the token), keeps the token in memory
// and in the secret store, asks the service who is signed in, restores the session
// at launch and signs out. Main thread only.
class CloudAuthService : public QObject
{
    Q_OBJECT
public:
    enum class Status
    {
        signedOut,
        signingIn,
        signedIn
    };
    using OpenUrl = std::function<bool(const QUrl&)>;
    // The outcome of taking a token: nothing, or the message shown for the failure.
    using SignInDone = std::function<void(std::optional<QString>)>;

    // Restores a stored session before returning; the profile call that confirms it runs
    // next, unless `confirmAtLaunch` is false (a command line confirms when it needs to).
    // `openUrl` opens the browser; `settings` holds the cloud address.
    CloudAuthService(SecretStore& keychain, QSettings& settings, OpenUrl openUrl, QObject* parent = nullptr,
                     bool confirmAtLaunch = true);
    ~CloudAuthService() override;

    Status status() const { return m_status; }
    // The signed-in person; set exactly while signed in.
    const std::optional<CloudUser>& user() const { return m_user; }
    const std::optional<QString>& lastError() const { return m_lastError; }
    // False once the secret store turned out to be missing: a sign-in then lasts for
    // this run only.
    bool remembersSignIn() const { return m_remembersSignIn; }
    bool hasToken() const { return m_cachedToken.has_value(); }
    const std::optional<QString>& pendingState() const { return m_pendingState; }
    // The page the last sign-in opened.
    const QUrl& signInURL() const { return m_signInURL; }
    // No browser took that page (none is set up, or it would not start).
    bool browserFailed() const { return m_browserFailed; }

    // The one client, made on first use with the cloud address of that moment.
    CloudAPIClient& apiClient();

    void startSignIn();
    void handleCallbackURL(const QUrl& url);
    // The profile call; `done` (optional) gets its outcome.
    void refreshSession(std::function<void(::Status<CloudError>)> done = {});
    // Tells the service when there is a token, then forgets it here whatever the answer.
    void signOut(std::function<void()> done = {});
    // A device token given by hand (a machine without a browser): checked with the
    // profile call, then kept like one from the browser. `done` gets the outcome.
    void signInWithToken(const QString& token, SignInDone done);
    // The one-time code the service's page shows after "Continue" (for when the
    // quillo:// link did not arrive), exchanged for a device token that is then taken
    // like one given by hand. A refusal leaves the sign-in as it was.
    void signInWithCode(const QString& code, SignInDone done);

    // `url` as it may be logged: the value of a "token" item replaced by <redacted>.
    static QString redacted(const QUrl& url);
    // The computer's name for the sign-in page: the pretty host name, else the host name.
    static QString deviceName();

Q_SIGNALS:
    void statusChanged();
    void lastErrorChanged();
    // Any published state changed.
    void changed();

private:
    void restoreSession(bool confirm);
    void acceptToken(const QString& token, SignInDone done);
    // Takes `token` once the profile call accepted it; `refused` names it otherwise.
    void checkAndAcceptToken(const QString& token, const QString& refused, SignInDone done);
    void failSignIn(const QString& message);
    void forgetToken();
    void setStatus(Status status, std::optional<CloudUser> user = std::nullopt);
    void setLastError(std::optional<QString> error);
    void noteStoreUnavailable(const QString& detail);

    SecretStore& m_keychain;
    QSettings& m_settings;
    OpenUrl m_openUrl;
    Status m_status = Status::signedOut;
    std::optional<CloudUser> m_user;
    std::optional<QString> m_lastError;
    std::optional<QString> m_pendingState;
    std::optional<QString> m_cachedToken;
    bool m_browserFailed = false;
    QUrl m_signInURL;
    bool m_remembersSignIn = true;
    QNetworkAccessManager* m_network = nullptr;
    CloudAPIClient* m_apiClient = nullptr;
};
