#include "ViewModels/SettingsViewModel.h"

#include "Services/Cloud/CloudConfig.h"
#include "ViewModels/AppViewModel.h"

#include <QPointer>
#include <QRegularExpression>

SettingsViewModel::SettingsViewModel(AppViewModel& model, QObject* parent) : QObject(parent), m_model(model)
{
    connect(&m_model, &AppViewModel::changed, this, &SettingsViewModel::changed);
}

bool SettingsViewModel::autoSyncEnabled() const
{
    return m_model.recordingFlow().autoSyncEnabled();
}

void SettingsViewModel::setAutoSyncEnabled(bool enabled)
{
    m_model.recordingFlow().setAutoSyncEnabled(enabled);
}

bool SettingsViewModel::syncMessageIsFailure() const
{
    return m_syncMessage && m_syncMessage->toLower().contains(QLatin1String("fail"));
}

bool SettingsViewModel::canSync() const
{
    return !m_isSyncing && !m_model.macros().empty();
}

void SettingsViewModel::syncNow()
{
    if (m_isSyncing)
        return;
    m_isSyncing = true;
    m_syncMessage.reset();
    Q_EMIT changed();
    QPointer<SettingsViewModel> self(this);
    m_model.syncAllMacrosToCloud([self](Expected<int, BackupError> synced) {
        if (!self)
            return;
        AppViewModel& model = self->m_model;
        if (synced) {
            const int count = synced.value();
            self->m_syncMessage = count == 1 ? model.t(QStringLiteral("account.syncedSingular"))
                                             : QString::asprintf(model.t(QStringLiteral("account.syncedPlural")).toUtf8().constData(), count);
        } else if (synced.error().isUnauthorized()) {
            self->m_syncMessage = model.t(QStringLiteral("account.signedOutByOther"));
        } else {
            self->m_syncMessage = model.t(QStringLiteral("account.syncFailed")) + QLatin1Char(' ') + synced.error().description();
        }
        self->m_isSyncing = false;
        Q_EMIT self->changed();
    });
}

UpdateCheckerService& SettingsViewModel::updateChecker()
{
    if (!m_updateChecker) {
        m_updateChecker = new UpdateCheckerService(CloudConfig::baseURL(m_model.settings()), {}, this);
        connect(m_updateChecker, &UpdateCheckerService::stateChanged, this, &SettingsViewModel::changed);
    }
    return *m_updateChecker;
}

QString SettingsViewModel::updateStatusText()
{
    const UpdateCheckerService::State& state = updateChecker().state();
    using Kind = UpdateCheckerService::State::Kind;
    switch (state.kind) {
    case Kind::idle:
        return versionText(updateChecker().currentVersion(), {});
    case Kind::checking:
        return m_model.t(QStringLiteral("settings.updates.checking"));
    case Kind::upToDate:
        return m_model.t(QStringLiteral("settings.updates.upToDate")) + QStringLiteral(" (") + state.latest +
               QLatin1Char(')');
    case Kind::available:
        return m_model.t(QStringLiteral("settings.updates.available")).replace(QStringLiteral("{version}"), state.latest);
    case Kind::failed:
        return m_model.t(QStringLiteral("settings.updates.failed")) + QStringLiteral(": ") + state.message;
    }
    return {};
}

QString SettingsViewModel::serviceAddress() const
{
    return CloudConfig::baseURL(m_model.settings()).toString();
}

bool SettingsViewModel::serviceAddressFromEnvironment() const
{
    const QUrl fromEnvironment(qEnvironmentVariable(CloudConfig::environmentVariable.toUtf8().constData()).trimmed(),
                               QUrl::StrictMode);
    return CloudConfig::isUsable(fromEnvironment);
}

bool SettingsViewModel::setServiceAddress(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        m_model.settings().remove(CloudConfig::settingsKey);
    } else {
        if (!CloudConfig::isUsable(QUrl(trimmed, QUrl::StrictMode)))
            return false;
        m_model.settings().setValue(CloudConfig::settingsKey, trimmed);
    }
    m_model.settings().sync();
    // A new address: the next check asks the new service.
    delete m_updateChecker;
    m_updateChecker = nullptr;
    Q_EMIT changed();
    return true;
}

QUrl SettingsViewModel::dashboardURL() const
{
    return QUrl(CloudConfig::baseURL(m_model.settings()).toString() + QStringLiteral("/dashboard"));
}

namespace {

// The first `count` characters, a character being a whole code point.
QString leading(const QString& text, int count)
{
    qsizetype end = 0;
    for (int i = 0; i < count && end < text.size(); ++i)
        end += text[end].isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
    return text.left(end);
}

} // namespace

QString SettingsViewModel::initials(const CloudUser& user)
{
    const QString source =
        (user.displayName && !user.displayName->isEmpty() ? *user.displayName : user.email).toUpper();
    static const QRegularExpression separators(QStringLiteral("[\\s@.]+"));
    const QStringList words = source.split(separators, Qt::SkipEmptyParts);
    if (words.size() >= 2)
        return leading(words[0], 1) + leading(words[1], 1);
    return leading(source, 2);
}

QString SettingsViewModel::versionText(const QString& shortVersion, const QString& build)
{
    if (shortVersion.isEmpty())
        return QStringLiteral("\u2014");
    if (!build.isEmpty() && build != shortVersion)
        return shortVersion + QStringLiteral(" (") + build + QLatin1Char(')');
    return shortVersion;
}
