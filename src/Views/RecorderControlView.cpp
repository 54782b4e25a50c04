#include "Views/RecorderControlView.h"

#include "Services/Localization/Strings.h"
#include "ViewModels/AppViewModel.h"
#include "Views/Icons.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QSpinBox>
#include <QLabel>
#include <QVBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <cmath>

RecorderControlView::RecorderControlView(AppViewModel& model, QWidget* parent) : QWidget(parent), m_model(model)
{
    m_dot = new QLabel(QStringLiteral("\u25cf"));
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("recorderStatus"));
    m_elapsed = new QLabel;
    m_elapsed->setStyleSheet(QStringLiteral("font-size: 22pt; font-weight: 300"));
    // Wraps between the hints when the chords are long (each hint stays whole).
    m_hints = new QLabel;
    m_hints->setWordWrap(true);
    m_hints->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_count = new QLabel;
    m_count->setStyleSheet(QStringLiteral("color: gray"));
    m_button = new QPushButton;
    m_button->setObjectName(QStringLiteral("recordButton"));
    m_pulse = new QTimer(this);
    m_pulse->setInterval(500);
    connect(m_pulse, &QTimer::timeout, this, [this] {
        m_pulseOn = !m_pulseOn;
        m_dot->setStyleSheet(m_pulseOn ? QStringLiteral("color: #ff3b30") : QStringLiteral("color: #ffb3ae"));
    });
    // The options of the next recording, shown while none runs.
    m_options = new QWidget;
    m_takes = new QComboBox;
    m_takes->setObjectName(QStringLiteral("recordTakes"));
    m_thin = new QCheckBox;
    m_thin->setObjectName(QStringLiteral("recordThin"));
    m_thinInterval = new QSpinBox;
    m_thinInterval->setRange(10, RecordingOptions::maxMoveIntervalMs);
    m_thinInterval->setSingleStep(10);
    m_thinInterval->setSuffix(QStringLiteral(" ms"));
    m_thinInterval->setValue(100);
    // Where the screen can be read: whether clicks keep what it showed around them.
    m_pictures = new QCheckBox;
    m_pictures->setObjectName(QStringLiteral("recordPictures"));
    auto* optionsRow = new QHBoxLayout(m_options);
    optionsRow->setContentsMargins(0, 0, 0, 0);
    optionsRow->addWidget(m_takes);
    optionsRow->addWidget(m_thin);
    optionsRow->addWidget(m_thinInterval);
    optionsRow->addWidget(m_pictures);
    optionsRow->addStretch();
    connect(m_pictures, &QCheckBox::toggled, this, [this](bool on) { m_model.recordingFlow().setTakesPictures(on); });
    connect(m_takes, &QComboBox::activated, this, &RecorderControlView::storeOptions);
    connect(m_thin, &QCheckBox::toggled, this, &RecorderControlView::storeOptions);
    connect(m_thinInterval, &QSpinBox::valueChanged, this, &RecorderControlView::storeOptions);
    auto* texts = new QVBoxLayout;
    texts->addWidget(m_status);
    m_limits = new QLabel;
    m_limits->setObjectName(QStringLiteral("recorderLimits"));
    m_limits->setWordWrap(true);
    m_limits->setStyleSheet(QStringLiteral("color: gray; font-size: small"));
    m_limits->hide();
    texts->addWidget(m_limits);
    texts->addWidget(m_elapsed);
    texts->addWidget(m_count);
    // The options take a row of their own under the state, the hints and the button.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 16, 16, 16);
    auto* layout = new QHBoxLayout;
    outer->addLayout(layout);
    outer->addWidget(m_options);
    layout->addWidget(m_dot);
    layout->addLayout(texts);
    layout->addWidget(m_hints, 1);
    layout->addWidget(m_button);
    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_model.recorder().state() != RecordingState::idle)
            m_model.recordingFlow().stopRecordingAndPrompt();
        else
            m_model.recordingFlow().startRecording();
    });
    connect(&m_model, &AppViewModel::changed, this, &RecorderControlView::refresh);
    refresh();
}

QString RecorderControlView::elapsedText(double seconds)
{
    const double t = std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0;
    const auto whole = static_cast<long long>(std::trunc(t));
    const int tenths = int(std::trunc((t - double(whole)) * 10));
    return QStringLiteral("%1:%2.%3")
        .arg(whole / 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'))
        .arg(tenths);
}

void RecorderControlView::storeOptions()
{
    RecordingOptions options;
    const int takes = m_takes->currentIndex();
    options.keyboard = takes != 2;
    options.mouse = takes != 1;
    options.moveIntervalMs = m_thin->isChecked() ? m_thinInterval->value() : 0;
    m_model.recordingFlow().setRecordingOptions(options);
}

void RecorderControlView::refresh()
{
    const bool recording = m_model.recorder().state() == RecordingState::recording;
    {
        const RecordingOptions options = m_model.recordingFlow().recordingOptions();
        const QSignalBlocker quiet1(m_takes), quiet2(m_thin), quiet3(m_thinInterval), quiet4(m_pictures);
        m_pictures->setText(m_model.t(QStringLiteral("recorder.pictures")));
        m_pictures->setChecked(m_model.recordingFlow().takesPictures());
        m_pictures->setVisible(m_model.recordsPictures());
        m_pictures->setEnabled(options.mouse);
        m_takes->clear();
        m_takes->addItems({m_model.t(QStringLiteral("recorder.take.all")), m_model.t(QStringLiteral("recorder.take.keyboard")),
                           m_model.t(QStringLiteral("recorder.take.mouse"))});
        m_takes->setCurrentIndex(options.keyboard && options.mouse ? 0 : options.keyboard ? 1 : 2);
        m_thin->setText(m_model.t(QStringLiteral("recorder.thin")));
        m_thin->setToolTip(m_model.t(QStringLiteral("recorder.thin.tip")));
        m_thinInterval->setToolTip(m_thin->toolTip());
        m_thin->setChecked(options.moveIntervalMs > 0);
        if (options.moveIntervalMs > 0)
            m_thinInterval->setValue(options.moveIntervalMs);
        // Thinning is about the mouse, and the interval about thinning.
        m_thin->setEnabled(options.mouse);
        m_thinInterval->setEnabled(options.mouse && options.moveIntervalMs > 0);
        m_options->setVisible(m_model.recorder().state() == RecordingState::idle);
    }
    QString status = m_model.t(recording ? QStringLiteral("recorder.statusRecording") : QStringLiteral("recorder.statusReady"));
    // While recording with options, what it takes in.
    if (recording && !m_model.recorder().options().takesEverything())
        status += QStringLiteral(" · ") + m_model.recordingFlow().recordingOptionsText(m_model.recorder().options());
    m_status->setText(status);
    m_status->setStyleSheet(recording ? QStringLiteral("color: #ff3b30; font-weight: 500") : QStringLiteral("color: gray; font-weight: 500"));
    // The chords in force, and only those.
    QStringList hints;
    const std::pair<quint32, const char*> roles[] = {{HotkeyViewModel::toggleRecording, "Record"},
                                                     {HotkeyViewModel::stopRecording, "Stop"},
                                                     {HotkeyViewModel::togglePlayback, "Play"}};
    for (const auto& [id, role] : roles)
        if (const QString chord = m_model.hotkeyChords().text(id); !chord.isEmpty())
            hints << QStringLiteral("<span style='white-space:nowrap'><b>%1</b>&nbsp;%2</span>")
                         .arg(chord.toHtmlEscaped(), QLatin1String(role));
    m_hints->setText(QStringLiteral("<span style='color:#a0a0a0'>%1</span>").arg(hints.join(QStringLiteral(" \u00b7 "))));
    m_hints->setVisible(m_model.recorder().state() == RecordingState::idle && !m_model.playback().isBusy() &&
                        !hints.isEmpty());
    // Under Wayland the desktop may not tell where the pointer is or what is in front.
    m_limits->setText(m_model.recordingLimitsText());
    m_limits->setVisible(recording && m_model.recordingLimits.any());
    m_button->setText(m_model.t(recording ? QStringLiteral("recorder.stop") : QStringLiteral("recorder.start")));
    m_button->setIcon(recording ? Icons::icon(QStringLiteral("stop")) : Icons::icon(QStringLiteral("record"), QColor(0xff, 0x3b, 0x30)));
    // A recording cannot start while a playback runs.
    m_button->setEnabled(!m_model.playback().isBusy());
    m_elapsed->setVisible(recording);
    m_count->setVisible(recording);
    if (recording) {
        m_elapsed->setText(elapsedText(m_model.recorder().elapsedTime()));
        const qsizetype count = qsizetype(m_model.recorder().currentActions().size());
        const bool one = Strings::takesSingular(m_model.appLanguage(), count);
        m_count->setText(QStringLiteral("%1 %2").arg(count).arg(
            m_model.t(one ? QStringLiteral("recorder.actionCaptured") : QStringLiteral("recorder.actionsCaptured"))));
        if (!m_pulse->isActive()) {
            m_pulseOn = true;
            m_dot->setStyleSheet(QStringLiteral("color: #ff3b30"));
            m_pulse->start();
        }
    } else {
        m_pulse->stop();
        m_dot->setStyleSheet(QStringLiteral("color: gray"));
    }
}
