#include "Views/PermissionBannerView.h"

#include "ViewModels/AppViewModel.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

PermissionBannerView::PermissionBannerView(AppViewModel& model, QWidget* parent) : QFrame(parent), m_model(model)
{
    setStyleSheet(QStringLiteral("PermissionBannerView { background: #fff1e0; border-bottom: 1px solid #ffc98a; }"));
    m_accessibility = new QLabel;
    m_inputMonitoring = new QLabel;
    m_grantAccessibility = new QPushButton(QStringLiteral("Grant"));
    m_grantInputMonitoring = new QPushButton(QStringLiteral("Grant"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_accessibility, 0, 0);
    grid->addWidget(m_grantAccessibility, 0, 1);
    grid->addWidget(m_inputMonitoring, 1, 0);
    grid->addWidget(m_grantInputMonitoring, 1, 1);
    // On X11 nothing can be granted from here: "Grant" checks again and says what it found.
    connect(m_grantAccessibility, &QPushButton::clicked, this, [this] {
        m_model.permissions().requestAccessibilityPermission();
        m_checked = true;
        refresh();
    });
    connect(m_grantInputMonitoring, &QPushButton::clicked, this, [this] {
        m_model.permissions().requestInputMonitoringPermission();
        m_checked = true;
        refresh();
    });
    connect(&m_model, &AppViewModel::changed, this, &PermissionBannerView::refresh);
    connect(&m_model, &AppViewModel::appLanguageChanged, this, &PermissionBannerView::refresh);
    refresh();
}

void PermissionBannerView::refresh()
{
    const bool accessibility = m_model.permissions().hasAccessibilityPermission();
    const bool monitoring = m_model.permissions().hasInputMonitoringPermission();
    m_accessibility->setVisible(!accessibility);
    m_grantAccessibility->setVisible(!accessibility);
    m_inputMonitoring->setVisible(!monitoring);
    // The cause in the user's language where the platform names one, else its own words.
    auto text = [this](const char* title, const QString& needKey, const QString& causeKey, const QString& problem) {
        const QString need = needKey.isEmpty() ? QString() : m_model.t(needKey) + QStringLiteral(": ");
        const QString cause = causeKey.isEmpty() ? problem : m_model.t(causeKey);
        return QStringLiteral("<b>%1</b><br><span style='color:gray'>%2%3. %4%5</span>")
            .arg(QLatin1String(title), need.toHtmlEscaped(), cause.toHtmlEscaped(),
                 m_model.t(QStringLiteral("banner.doctor")).toHtmlEscaped(),
                 m_checked ? QLatin1Char(' ') + m_model.t(QStringLiteral("banner.stillMissing")).toHtmlEscaped() : QString());
    };
    const PermissionsService& permissions = m_model.permissions();
    if (!accessibility)
        m_accessibility->setText(text("Cannot Replay Input", permissions.accessibilityNeedKey(),
                                      permissions.accessibilityCauseKey(), permissions.accessibilityProblem()));
    if (!monitoring)
        m_inputMonitoring->setText(text("Cannot Record Input", permissions.inputMonitoringNeedKey(),
                                        permissions.inputMonitoringCauseKey(), permissions.inputMonitoringProblem()));
    m_grantInputMonitoring->setVisible(!monitoring);
    setVisible(!accessibility || !monitoring);
}
