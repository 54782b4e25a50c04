#include "Views/Settings/UpdatesSettingsSection.h"

#include "ViewModels/AppViewModel.h"
#include "ViewModels/SettingsViewModel.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

UpdatesSettingsSection::UpdatesSettingsSection(AppViewModel& model, SettingsViewModel& settings, QWidget* parent)
    : QGroupBox(parent), m_model(model), m_settings(settings)
{
    setObjectName(QStringLiteral("updatesSection"));
    m_title = new QLabel;
    m_status = new QLabel;
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont caption = m_status->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.9);
    m_status->setFont(caption);
    m_action = new QPushButton;
    m_spinner = new QProgressBar;
    m_spinner->setRange(0, 0);
    m_spinner->setTextVisible(false);
    m_spinner->setFixedSize(48, 10);

    auto* column = new QVBoxLayout;
    column->addWidget(m_title);
    column->addWidget(m_status);
    auto* row = new QHBoxLayout(this);
    row->addLayout(column, 1);
    row->addWidget(m_spinner, 0, Qt::AlignVCenter);
    row->addWidget(m_action, 0, Qt::AlignVCenter);

    connect(m_action, &QPushButton::clicked, this, [this] {
        const auto& state = m_settings.updateChecker().state();
        if (state.kind == UpdateCheckerService::State::Kind::available)
            QDesktopServices::openUrl(state.downloadURL);
        else
            m_settings.updateChecker().check();
    });
    connect(&m_settings, &SettingsViewModel::changed, this, &UpdatesSettingsSection::refresh);
    refresh();
}

void UpdatesSettingsSection::refresh()
{
    using Kind = UpdateCheckerService::State::Kind;
    const Kind kind = m_settings.updateChecker().state().kind;
    setTitle(m_model.t(QStringLiteral("settings.section.updates")));
    m_title->setText(m_model.t(QStringLiteral("settings.updates.currentVersion")));
    m_status->setText(m_settings.updateStatusText());
    QString color = QStringLiteral("gray");
    if (kind == Kind::upToDate)
        color = QStringLiteral("#2e8b3a");
    else if (kind == Kind::available)
        color = palette().color(QPalette::Highlight).name();
    else if (kind == Kind::failed)
        color = QStringLiteral("#d0312d");
    m_status->setStyleSheet(QStringLiteral("color: %1").arg(color));
    m_spinner->setVisible(kind == Kind::checking);
    m_action->setVisible(kind != Kind::checking);
    const bool download = kind == Kind::available;
    m_action->setText(m_model.t(download ? QStringLiteral("settings.updates.downloadButton")
                                         : QStringLiteral("settings.updates.checkButton")));
    m_action->setDefault(download); // the prominent one
    QFont font = m_action->font();
    font.setBold(download);
    m_action->setFont(font);
}
