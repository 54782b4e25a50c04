#include "Views/PlaybackControlView.h"

#include "ViewModels/LayoutMapping.h"

#include "ViewModels/AppViewModel.h"
#include "Views/Icons.h"

#include <QCheckBox>
#include <algorithm>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QHBoxLayout>

bool PlaybackControlView::s_optionsShown = false;

PlaybackControlView::PlaybackControlView(AppViewModel& model, const Macro& macro, QWidget* parent)
    : QWidget(parent), m_model(model), m_macroId(macro.id)
{
    m_play = new QPushButton;
    m_play->setObjectName(QStringLiteral("playButton"));
    m_progressText = new QLabel;
    m_progress = new QProgressBar;
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_speedTitle = new QLabel;
    m_speed = new QSlider(Qt::Horizontal);
    m_speed->setRange(1, 16); // 0.25 to 4.0 in steps of 0.25
    m_speed->setValue(4);
    m_speedLabel = new QLabel;
    m_infinite = new QCheckBox;
    m_repeatTitle = new QLabel;
    m_repeat = new QSpinBox;
    m_repeat->setRange(1, 99);
    m_repeat->setSuffix(QStringLiteral("\u00d7"));
    m_percent = new QLabel;
    m_percent->setStyleSheet(QStringLiteral("color: gray"));
    m_delayTitle = new QLabel;
    m_useDelay = new QCheckBox;
    m_delay = new QDoubleSpinBox;
    m_delay->setRange(0.01, 5.0);
    m_delay->setSingleStep(0.05);
    m_delay->setDecimals(2);
    m_delay->setSuffix(QStringLiteral("s"));
    m_delay->setValue(m_options.delayOverrideValue());
    m_waitForApps = new QCheckBox;
    m_waitForApps->setObjectName(QStringLiteral("waitForApplications"));
    m_waitTitle = new QLabel;
    m_wait = new QSpinBox;
    m_wait->setRange(1, 600);
    m_wait->setSuffix(QStringLiteral("s"));
    m_wait->setValue(int(m_options.waitSeconds()));
    // A macro whose clicks carry what the screen showed, or whose steps look at it: wait
    // for it (on by default).
    m_hasPictures = std::any_of(macro.actions.begin(), macro.actions.end(), [](const MacroAction& a) {
        const auto* down = std::get_if<MacroAction::MouseDown>(&a.payload);
        const auto* wait = std::get_if<MacroAction::Wait>(&a.payload);
        return (down && down->sight) || (wait && wait->get().kind != ScreenWait::Kind::window);
    });
    m_waitForScreen = new QCheckBox;
    m_waitForScreen->setObjectName(QStringLiteral("waitForScreen"));
    m_waitForScreen->setChecked(m_options.waitForScreen());
    m_screenWait = new QSpinBox;
    m_screenWait->setRange(1, 600);
    m_screenWait->setSuffix(QStringLiteral("s"));
    m_screenWait->setValue(int(m_options.screenSeconds()));
    // A macro recorded on other monitors: say so, and offer to place its positions here.
    m_otherLayout = new QLabel;
    m_otherLayout->setWordWrap(true);
    m_otherLayout->setStyleSheet(QStringLiteral("color: #b26b00"));
    m_mapLayout = new QCheckBox;
    const std::vector<ScreenOutput> here = m_model.currentScreenLayout();
    m_layoutDiffers = LayoutMapping::differs(macro.metadata.outputs, here);
    if (m_layoutDiffers)
        m_layouts = QStringLiteral("%1 → %2").arg(LayoutMapping::describe(macro.metadata.outputs),
                                                        LayoutMapping::describe(here));
    // A desktop that gives no screen layout: the macro's clicks land wherever the pointer is.
    m_noPositions = new QLabel;
    m_noPositions->setWordWrap(true);
    m_noPositions->setStyleSheet(QStringLiteral("color: #b26b00"));
    m_noPositions->setVisible(!m_model.replaysPositions && LayoutMapping::usesPositions(macro));
    m_hint = new QLabel;
    m_hint->setStyleSheet(QStringLiteral("color: gray"));

    // Two columns of options beside each other, so that the action list above keeps the
    // height of the detail pane: how fast and how often on one side, the spacing and the
    // waits on the other.
    // The actions get the height: play and speed on one row, the other options folded
    // under a button beside them.
    auto* grid = new QGridLayout(this);
    m_progressText->setStyleSheet(QStringLiteral("color: gray"));
    grid->addWidget(m_progressText, 0, 0);
    grid->addWidget(m_percent, 0, 1, Qt::AlignRight);
    grid->addWidget(m_progress, 1, 0, 1, 2);
    auto* row = new QHBoxLayout;
    row->addWidget(m_play);
    row->addSpacing(12);
    row->addWidget(m_speedTitle);
    row->addWidget(m_speed, 1);
    row->addWidget(m_speedLabel);
    row->addSpacing(12);
    m_more = new QToolButton;
    m_more->setObjectName(QStringLiteral("playbackOptions"));
    m_more->setCheckable(true);
    m_more->setChecked(s_optionsShown);
    m_more->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    row->addWidget(m_more);
    grid->addLayout(row, 2, 0, 1, 2);
    m_optionsPanel = new QWidget;
    auto* more = new QGridLayout(m_optionsPanel);
    more->setContentsMargins(0, 0, 0, 0);
    more->addWidget(m_infinite, 0, 0, 1, 2);
    more->addWidget(m_repeatTitle, 1, 0);
    more->addWidget(m_repeat, 1, 1);
    more->setColumnMinimumWidth(2, 16);
    more->addWidget(m_useDelay, 0, 3, 1, 2);
    more->addWidget(m_delayTitle, 1, 3);
    more->addWidget(m_delay, 1, 4);
    more->addWidget(m_waitForApps, 2, 0, 1, 2);
    more->addWidget(m_waitTitle, 3, 0);
    more->addWidget(m_wait, 3, 1);
    more->addWidget(m_waitForScreen, 2, 3);
    more->addWidget(m_screenWait, 2, 4);
    more->setColumnStretch(0, 1);
    more->setColumnStretch(3, 1);
    grid->addWidget(m_optionsPanel, 3, 0, 1, 2);
    grid->addWidget(m_otherLayout, 4, 0, 1, 2);
    grid->addWidget(m_mapLayout, 5, 0, 1, 2);
    grid->addWidget(m_noPositions, 6, 0, 1, 2);
    grid->addWidget(m_hint, 7, 0, 1, 2);
    connect(m_more, &QToolButton::toggled, this, [this](bool shown) {
        s_optionsShown = shown; // the next macro's panel opens the same way
        refresh();
    });

    connect(m_speed, &QSlider::valueChanged, this, [this](int v) { m_options.setSpeedMultiplier(v * 0.25); });
    connect(m_infinite, &QCheckBox::toggled, this, [this](bool on) { m_options.setInfiniteLoop(on); });
    connect(m_repeat, &QSpinBox::valueChanged, this, [this](int v) { m_options.setLoopCount(v); });
    connect(m_useDelay, &QCheckBox::toggled, this, [this](bool on) { m_options.setUseDelayOverride(on); });
    connect(m_delay, &QDoubleSpinBox::valueChanged, this, [this](double v) { m_options.setDelayOverrideValue(v); });
    connect(m_waitForApps, &QCheckBox::toggled, this, [this](bool on) { m_options.setWaitForApplications(on); });
    connect(m_wait, &QSpinBox::valueChanged, this, [this](int v) { m_options.setWaitSeconds(v); });
    connect(m_waitForScreen, &QCheckBox::toggled, this, [this](bool on) { m_options.setWaitForScreen(on); });
    connect(m_screenWait, &QSpinBox::valueChanged, this, [this](int v) { m_options.setScreenSeconds(v); });
    connect(m_mapLayout, &QCheckBox::toggled, this, [this](bool on) { m_options.setMapToCurrentLayout(on); });
    connect(&m_options, &PlaybackViewModel::changed, this, &PlaybackControlView::refresh);
    connect(m_play, &QPushButton::clicked, this, [this] {
        if (m_model.playback().state().isBusy() || m_model.playback().isBusy())
            m_model.stopPlayback();
        else
            playCurrentMacro();
    });
    connect(&m_model, &AppViewModel::changed, this, &PlaybackControlView::refresh);
    connect(&m_model, &AppViewModel::appLanguageChanged, this, &PlaybackControlView::retranslate);
    retranslate();
}

void PlaybackControlView::playCurrentMacro()
{
    // The macro as the library holds it now: edits and renames since this panel was
    // built are part of what plays.
    for (const Macro& macro : m_model.macros())
        if (macro.id == m_macroId)
            m_model.startPlayback(macro, m_options.options());
}

QString PlaybackControlView::progressLabel(const PlaybackState& state)
{
    switch (state.kind) {
    case PlaybackState::Kind::idle:
        return {};
    case PlaybackState::Kind::stopping:
        return QStringLiteral("Playing...");
    case PlaybackState::Kind::playing:
        break;
    }
    if (state.isEndless())
        return QStringLiteral("Playing loop %1 \u221e").arg(state.currentLoop);
    return QStringLiteral("Playing loop %1 of %2").arg(state.currentLoop).arg(state.totalLoops);
}

QString PlaybackControlView::percentText(double progress)
{
    return QString::number(progress * 100, 'f', 0) + QLatin1Char('%');
}

void PlaybackControlView::retranslate()
{
    m_speedTitle->setText(m_model.t(QStringLiteral("playback.speed")));
    m_infinite->setText(m_model.t(QStringLiteral("playback.infiniteLoop")));
    m_infinite->setToolTip(m_model.t(QStringLiteral("playback.infiniteLoop.help")));
    m_repeatTitle->setText(m_model.t(QStringLiteral("playback.repeat")));
    m_useDelay->setText(m_model.t(QStringLiteral("playback.customDelay")));
    m_delayTitle->setText(m_model.t(QStringLiteral("playback.delay")));
    m_waitForApps->setText(m_model.t(QStringLiteral("playback.waitForApps")));
    m_waitTitle->setText(m_model.t(QStringLiteral("playback.waitLimit")));
    m_waitForScreen->setText(m_model.t(QStringLiteral("playback.waitForScreen")));
    m_screenWait->setToolTip(m_model.t(QStringLiteral("playback.waitLimit")));
    m_more->setText(m_model.t(QStringLiteral("playback.options")));
    m_otherLayout->setText(m_model.t(QStringLiteral("playback.otherLayout")) + QLatin1Char(' ') + QChar(0x2066) +
                           m_layouts + QChar(0x2069));
    m_mapLayout->setText(m_model.t(QStringLiteral("playback.mapLayout")));
    m_noPositions->setText(m_model.t(QStringLiteral("playback.positionsNotReplayed")));
    m_hint->setText(m_model.t(QStringLiteral("playback.hint"))
                        .replace(QStringLiteral("{chord}"), m_model.hotkeyChords().text(HotkeyViewModel::togglePlayback)));
    refresh();
}

void PlaybackControlView::refresh()
{
    const PlaybackState& state = m_model.playback().state();
    const bool busy = state.isBusy() || m_model.playback().isBusy();
    m_play->setText(m_model.t(busy ? QStringLiteral("playback.stop") : QStringLiteral("playback.play")));
    m_play->setIcon(busy ? Icons::icon(QStringLiteral("stop"), QColor(0xff, 0x3b, 0x30))
                         : Icons::icon(QStringLiteral("play"), QColor(0x30, 0xd1, 0x58)));
    m_play->setEnabled(m_model.recorder().state() == RecordingState::idle);
    for (QWidget* w : {static_cast<QWidget*>(m_progressText), static_cast<QWidget*>(m_percent),
                       static_cast<QWidget*>(m_progress)})
        w->setVisible(state.isBusy());
    const QString waiting = m_model.playback().waitingFor();
    m_progressText->setText(waiting.isEmpty() ? progressLabel(state) : m_model.t(QStringLiteral("playback.waiting")).arg(waiting));
    m_percent->setText(percentText(m_model.playback().progress()));
    m_progress->setValue(int(m_model.playback().progress() * 1000));
    m_speedLabel->setText(m_options.speedLabel());
    m_optionsPanel->setVisible(m_more->isChecked());
    m_more->setArrowType(m_more->isChecked() ? Qt::DownArrow
                                             : layoutDirection() == Qt::RightToLeft ? Qt::LeftArrow : Qt::RightArrow);
    m_repeatTitle->setVisible(!m_options.isInfiniteLoop());
    m_repeat->setVisible(!m_options.isInfiniteLoop());
    m_delayTitle->setVisible(m_options.useDelayOverride());
    m_delay->setVisible(m_options.useDelayOverride());
    m_otherLayout->setVisible(m_layoutDiffers);
    m_mapLayout->setVisible(m_layoutDiffers);
    m_waitTitle->setVisible(m_options.waitForApplications());
    m_wait->setVisible(m_options.waitForApplications());
    m_waitForScreen->setVisible(m_hasPictures);
    m_screenWait->setVisible(m_hasPictures && m_options.waitForScreen());
    // Only a chord in force is offered.
    m_hint->setVisible(!busy && m_model.hotkeyChords().chord(HotkeyViewModel::togglePlayback));
}

QWidget* PlaybackControlView::repeatStepper() const
{
    return m_repeat;
}
