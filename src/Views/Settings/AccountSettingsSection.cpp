#include "Views/Settings/AccountSettingsSection.h"

#include "Services/Cloud/CloudConfig.h"
#include "Services/Cloud/CloudError.h"
#include "ViewModels/AppViewModel.h"
#include "ViewModels/RelativeTime.h"
#include "ViewModels/SettingsViewModel.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFrame>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kRed = QStringLiteral("#d0312d");

QLabel* captionLabel(bool secondary = true)
{
    auto* label = new QLabel;
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    if (secondary)
        label->setStyleSheet(QStringLiteral("color: gray"));
    return label;
}

QFrame* divider()
{
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// A round badge of 36 px in the accent colour at 18 % holding the initials.
QPixmap avatar(const QString& initials, const QColor& accent, const QFont& base, qreal scale)
{
    const int size = 36;
    QPixmap pixmap(QSize(size, size) * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = accent;
    fill.setAlphaF(0.18);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(0, 0, size, size));
    QFont font = base;
    font.setPixelSize(13);
    font.setWeight(QFont::DemiBold);
    painter.setFont(font);
    painter.setPen(accent.darker(130));
    painter.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, initials);
    return pixmap;
}

} // namespace

AccountSettingsSection::AccountSettingsSection(AppViewModel& model, SettingsViewModel& settings, QWidget* parent)
    : QGroupBox(parent), m_model(model), m_settings(settings)
{
    setObjectName(QStringLiteral("accountSection"));
    auto* layout = new QVBoxLayout(this);
    buildSignedOut();
    buildSigningIn();
    buildSignedIn();
    m_notRemembered = captionLabel();
    for (QWidget* page : {m_signedOutPage, m_signingInPage, m_signedInPage})
        layout->addWidget(page);
    layout->addWidget(m_notRemembered);

    m_clock.setInterval(15'000);
    connect(&m_clock, &QTimer::timeout, this, &AccountSettingsSection::refresh);
    m_clock.start();
    connect(&m_settings, &SettingsViewModel::changed, this, &AccountSettingsSection::refresh);
    refresh();
}

void AccountSettingsSection::buildSignedOut()
{
    m_signedOutPage = new QWidget;
    m_signedOutDescription = captionLabel();
    m_serviceLabel = new QLabel;
    m_serviceField = new QLineEdit;
    m_serviceField->setObjectName(QStringLiteral("serviceAddress"));
    m_serviceField->setLayoutDirection(Qt::LeftToRight); // an address reads left to right everywhere
    m_serviceNote = captionLabel(false);
    m_signIn = new QPushButton;
    m_lastError = captionLabel(false);
    m_lastError->setStyleSheet(QStringLiteral("color: ") + kRed);
    m_lastError->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* service = new QHBoxLayout;
    service->addWidget(m_serviceLabel);
    service->addWidget(m_serviceField, 1);
    auto* layout = new QVBoxLayout(m_signedOutPage);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_signedOutDescription);
    layout->addLayout(service);
    layout->addWidget(m_serviceNote);
    layout->addWidget(m_signIn, 0, Qt::AlignLeading);
    layout->addWidget(m_lastError);

    connect(m_serviceField, &QLineEdit::editingFinished, this, &AccountSettingsSection::applyServiceAddress);
    connect(m_signIn, &QPushButton::clicked, this, [this] {
        applyServiceAddress();
        m_model.cloudAuth().startSignIn();
    });
}

void AccountSettingsSection::buildSigningIn()
{
    m_signingInPage = new QWidget;
    m_spinner = new QProgressBar;
    m_spinner->setRange(0, 0);
    m_spinner->setTextVisible(false);
    m_spinner->setFixedSize(32, 10);
    m_signingIn = captionLabel();
    m_cancel = new QPushButton;
    m_cancel->setFlat(true);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_spinner);
    row->addWidget(m_signingIn, 1);
    row->addWidget(m_cancel);
    // The page's link, for when the browser did not open (or opened elsewhere).
    m_linkHint = captionLabel();
    m_link = new QLineEdit;
    m_link->setObjectName(QStringLiteral("signInLink"));
    m_link->setReadOnly(true);
    m_link->setLayoutDirection(Qt::LeftToRight); // an address reads left to right in every language
    m_copyLink = new QPushButton;
    auto* linkRow = new QHBoxLayout;
    linkRow->addWidget(m_link, 1);
    linkRow->addWidget(m_copyLink);
    // The code the page after "Continue" shows, for when its link did not reach Quillo.
    m_codeHint = captionLabel();
    m_code = new QLineEdit;
    m_code->setObjectName(QStringLiteral("signInCode"));
    m_code->setPlaceholderText(QStringLiteral("ABCD-EFGH"));
    m_code->setMaxLength(20);
    m_code->setLayoutDirection(Qt::LeftToRight);
    m_useCode = new QPushButton;
    auto* codeRow = new QHBoxLayout;
    codeRow->addWidget(m_code, 1);
    codeRow->addWidget(m_useCode);
    m_codeProblem = captionLabel(false);
    m_codeProblem->setStyleSheet(QStringLiteral("color: ") + kRed);
    m_codeProblem->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_codeProblem->hide();
    auto* page = new QVBoxLayout(m_signingInPage);
    page->setContentsMargins(0, 0, 0, 0);
    page->addLayout(row);
    page->addWidget(m_linkHint);
    page->addLayout(linkRow);
    page->addWidget(m_codeHint);
    page->addLayout(codeRow);
    page->addWidget(m_codeProblem);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_model.cloudAuth().signOut(); });
    connect(m_copyLink, &QPushButton::clicked, this, [this] { QGuiApplication::clipboard()->setText(m_link->text()); });
    connect(m_useCode, &QPushButton::clicked, this, &AccountSettingsSection::useCode);
    connect(m_code, &QLineEdit::returnPressed, this, &AccountSettingsSection::useCode);
}

void AccountSettingsSection::useCode()
{
    if (!m_useCode->isEnabled())
        return;
    m_useCode->setEnabled(false);
    m_codeProblem->hide();
    QPointer<AccountSettingsSection> self(this);
    m_model.cloudAuth().signInWithCode(m_code->text(), [self](std::optional<QString> problem) {
        if (!self)
            return;
        self->m_useCode->setEnabled(true);
        if (problem) {
            self->m_codeProblem->setText(*problem);
            self->m_codeProblem->show();
            self->refresh();
        } else {
            self->m_code->clear();
        }
    });
}

void AccountSettingsSection::buildSignedIn()
{
    m_signedInPage = new QWidget;
    m_avatar = new QLabel;
    m_avatar->setFixedSize(36, 36);
    m_name = new QLabel;
    QFont nameFont = m_name->font();
    nameFont.setWeight(QFont::DemiBold);
    m_name->setFont(nameFont);
    m_email = captionLabel();
    auto* who = new QVBoxLayout;
    who->setSpacing(0);
    who->addWidget(m_name);
    who->addWidget(m_email);
    auto* person = new QHBoxLayout;
    person->addWidget(m_avatar);
    person->addLayout(who, 1);

    m_autoBackup = new QCheckBox;
    m_autoBackupDescription = captionLabel();
    m_autoBackupDescription->setIndent(24);
    connect(m_autoBackup, &QCheckBox::toggled, this, [this](bool on) { m_settings.setAutoSyncEnabled(on); });

    m_syncButton = new QPushButton;
    m_lastSync = captionLabel();
    m_lastSync->setWordWrap(false);
    auto* syncRow = new QHBoxLayout;
    syncRow->addWidget(m_syncButton);
    syncRow->addStretch();
    syncRow->addWidget(m_lastSync);
    m_syncMessage = captionLabel(false);
    m_syncMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(m_syncButton, &QPushButton::clicked, this, [this] { m_settings.syncNow(); });

    m_dashboard = new QPushButton;
    m_dashboard->setFlat(true);
    m_dashboard->setCursor(Qt::PointingHandCursor);
    m_signOut = new QPushButton;
    m_signOut->setStyleSheet(QStringLiteral("color: ") + kRed);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_dashboard);
    bottom->addStretch();
    bottom->addWidget(m_signOut);
    connect(m_dashboard, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(m_settings.dashboardURL()); });
    connect(m_signOut, &QPushButton::clicked, this, [this] { m_model.cloudAuth().signOut(); });

    auto* layout = new QVBoxLayout(m_signedInPage);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(person);
    layout->addWidget(divider());
    layout->addWidget(m_autoBackup);
    layout->addWidget(m_autoBackupDescription);
    layout->addLayout(syncRow);
    layout->addWidget(m_syncMessage);
    layout->addWidget(divider());
    layout->addLayout(bottom);
}

void AccountSettingsSection::applyServiceAddress()
{
    if (m_settings.serviceAddressFromEnvironment() || m_serviceField->text() == m_settings.serviceAddress())
        return;
    if (!m_settings.setServiceAddress(m_serviceField->text()))
        m_serviceNote->setProperty("invalid", true);
    else
        m_serviceNote->setProperty("invalid", false);
    refresh();
}

void AccountSettingsSection::refresh()
{
    CloudAuthService& auth = m_model.cloudAuth();
    const auto status = auth.status();
    setTitle(m_model.t(QStringLiteral("settings.section.account")));
    m_signedOutPage->setVisible(status == CloudAuthService::Status::signedOut);
    m_signingInPage->setVisible(status == CloudAuthService::Status::signingIn);
    m_signedInPage->setVisible(status == CloudAuthService::Status::signedIn);

    // Signed out.
    m_signedOutDescription->setText(m_model.t(QStringLiteral("account.signedOut.description")));
    m_serviceLabel->setText(m_model.t(QStringLiteral("account.service")));
    const bool fromEnvironment = m_settings.serviceAddressFromEnvironment();
    m_serviceField->setReadOnly(fromEnvironment);
    m_serviceField->setToolTip(fromEnvironment ? QStringLiteral("QUILLO_CLOUD_BASE_URL") : QString());
    if (!m_serviceField->hasFocus())
        m_serviceField->setText(m_settings.serviceAddress());
    m_serviceField->setPlaceholderText(CloudConfig::defaultBaseURL().toString());
    QString note;
    if (m_serviceNote->property("invalid").toBool())
        note = m_model.t(QStringLiteral("account.serviceInvalid"));
    else if (const QUrl base(m_settings.serviceAddress()); CloudConfig::isPlainHttpToAnotherHost(base))
        // The address kept whole and left to right inside right-to-left text.
        note = m_model.t(QStringLiteral("account.insecure")).arg(QChar(0x2066) + base.toString() + QChar(0x2069));
    m_serviceNote->setText(note);
    m_serviceNote->setStyleSheet(QStringLiteral("color: ") + kRed);
    m_serviceNote->setVisible(!note.isEmpty());
    m_signIn->setText(m_model.t(QStringLiteral("account.signIn")));
    m_lastError->setText(auth.lastError().value_or(QString()));
    m_lastError->setVisible(auth.lastError().has_value());

    // Signing in.
    m_signingIn->setText(m_model.t(QStringLiteral("account.signingIn")));
    m_cancel->setText(m_model.t(QStringLiteral("account.cancelSignIn")));
    m_linkHint->setText(m_model.t(auth.browserFailed() ? QStringLiteral("account.browserFailed")
                                                       : QStringLiteral("account.linkHint")));
    m_linkHint->setStyleSheet(auth.browserFailed() ? QStringLiteral("color: ") + kRed : QStringLiteral("color: gray"));
    m_link->setText(auth.signInURL().toString(QUrl::FullyEncoded));
    m_copyLink->setText(m_model.t(QStringLiteral("account.copyLink")));
    m_codeHint->setText(m_model.t(QStringLiteral("account.codeHint")));
    m_useCode->setText(m_model.t(QStringLiteral("account.useCode")));
    if (status != CloudAuthService::Status::signingIn)
        m_codeProblem->hide();

    // Signed in.
    if (const auto& user = auth.user()) {
        const qreal scale = devicePixelRatioF();
        m_avatar->setPixmap(avatar(SettingsViewModel::initials(*user), palette().color(QPalette::Highlight), font(), scale));
        m_avatar->setAccessibleName(SettingsViewModel::initials(*user));
        m_name->setText(user->displayName && !user->displayName->isEmpty() ? *user->displayName : user->email);
        m_email->setText(user->email);
    }
    {
        const QSignalBlocker quiet(m_autoBackup);
        m_autoBackup->setChecked(m_settings.autoSyncEnabled());
    }
    m_autoBackup->setText(m_model.t(QStringLiteral("account.autoBackup.title")));
    m_autoBackupDescription->setText(m_model.t(QStringLiteral("account.autoBackup.description")));
    m_syncButton->setText(m_model.t(m_settings.isSyncing() ? QStringLiteral("account.syncing")
                                                           : QStringLiteral("account.syncNow")));
    m_syncButton->setEnabled(m_settings.canSync());
    if (const auto& last = m_model.backupSync().lastSyncedAt()) {
        m_lastSync->setText(m_model.t(QStringLiteral("account.lastSync")) + QLatin1Char(' ') +
                            RelativeTime::shortText(*last, QDateTime::currentDateTimeUtc(), m_model.appLanguage()));
        m_lastSync->show();
    } else {
        m_lastSync->hide();
    }
    m_syncMessage->setText(m_settings.syncMessage().value_or(QString()));
    m_syncMessage->setVisible(m_settings.syncMessage().has_value());
    m_syncMessage->setStyleSheet(QStringLiteral("color: ") +
                                 (m_settings.syncMessageIsFailure() ? kRed : QStringLiteral("gray")));
    m_dashboard->setText(m_model.t(QStringLiteral("account.openDashboard")));
    m_signOut->setText(m_model.t(QStringLiteral("account.signOut")));

    m_notRemembered->setText(m_model.t(QStringLiteral("account.notRemembered")));
    m_notRemembered->setVisible(!auth.remembersSignIn());

    // Wrapped lines need their height before the fixed-width window lays them out.
    for (QLabel* label : findChildren<QLabel*>())
        if (label->wordWrap())
            label->setMinimumHeight(label->text().isEmpty() ? 0 : label->heightForWidth(400));
}
