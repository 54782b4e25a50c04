#include "Views/PermissionBannerView.h"

#include "ViewModels/AppViewModel.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

PermissionBannerView::PermissionBannerView(AppViewModel& model, QWidget* parent) : QFrame(parent), m_model(model)
{
    setStyleSheet(QStringLiteral("PermissionBannerView { background: #fff1e0; border-bottom: 1px solid #ffc98a; }"));
    m_accessibility = new QLabel(QStringLiteral(
        "<b>Accessibility Permission Required</b><br><span style='color:gray'>Required to record and replay "
        "keyboard &amp; mouse events.</span>"));
    m_inputMonitoring = new QLabel(QStringLiteral(
        "<b>Input Monitoring Permission Required</b><br><span style='color:gray'>Required to capture keyboard "
        "input from all applications.</span>"));
    m_grantAccessibility = new QPushButton(QStringLiteral("Grant"));
    m_grantInputMonitoring = new QPushButton(QStringLiteral("Grant"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_accessibility, 0, 0);
    grid->addWidget(m_grantAccessibility, 0, 1);
    grid->addWidget(m_inputMonitoring, 1, 0);
    grid->addWidget(m_grantInputMonitoring, 1, 1);
    connect(m_grantAccessibility, &QPushButton::clicked, this,
            [this] { m_model.permissions().requestAccessibilityPermission(); });
    connect(m_grantInputMonitoring, &QPushButton::clicked, this,
            [this] { m_model.permissions().requestInputMonitoringPermission(); });
    connect(&m_model, &AppViewModel::changed, this, &PermissionBannerView::refresh);
    refresh();
}

void PermissionBannerView::refresh()
{
    const bool accessibility = m_model.permissions().hasAccessibilityPermission();
    const bool monitoring = m_model.permissions().hasInputMonitoringPermission();
    m_accessibility->setVisible(!accessibility);
    m_grantAccessibility->setVisible(!accessibility);
    m_inputMonitoring->setVisible(!monitoring);
    m_grantInputMonitoring->setVisible(!monitoring);
    setVisible(!accessibility || !monitoring);
}
