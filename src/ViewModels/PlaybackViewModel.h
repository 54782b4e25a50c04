#pragma once

#include "Models/PlaybackOptions.h"

#include <QObject>
#include <QString>

// The playback controls' choices, kept in step with one PlaybackOptions record.
class PlaybackViewModel : public QObject
{
    Q_OBJECT
public:
    explicit PlaybackViewModel(QObject* parent = nullptr) : QObject(parent) {}

    const PlaybackOptions& options() const { return m_options; }

    bool isInfiniteLoop() const { return m_isInfiniteLoop; }
    qint64 loopCount() const { return m_loopCount; }
    double speedMultiplier() const { return m_speedMultiplier; }
    bool useDelayOverride() const { return m_useDelayOverride; }
    double delayOverrideValue() const { return m_delayOverrideValue; }

    void setInfiniteLoop(bool value);
    void setLoopCount(qint64 value);
    void setSpeedMultiplier(double value);
    void setUseDelayOverride(bool value);
    void setDelayOverrideValue(double value);
    // "Wait for each application", and for how long at most.
    bool waitForApplications() const { return m_waitForApplications; }
    double waitSeconds() const { return m_waitSeconds; }
    void setWaitForApplications(bool value);
    void setWaitSeconds(double value);
    // "Wait for the screen" (for macros whose clicks carry pictures), and for how long.
    bool waitForScreen() const { return m_waitForScreen; }
    double screenSeconds() const { return m_screenSeconds; }
    void setWaitForScreen(bool value);
    void setScreenSeconds(double value);
    bool mapToCurrentLayout() const { return m_options.mapToCurrentLayout; }
    void setMapToCurrentLayout(bool value)
    {
        m_options.mapToCurrentLayout = value;
        Q_EMIT changed();
    }

    // "1× (Normal)" at exactly 1, else the speed with at most two significant digits.
    QString speedLabel() const;

Q_SIGNALS:
    void changed();

private:
    PlaybackOptions m_options;
    bool m_isInfiniteLoop = false;
    qint64 m_loopCount = 1;
    double m_speedMultiplier = 1.0;
    bool m_useDelayOverride = false;
    double m_delayOverrideValue = 0.1;
    bool m_waitForApplications = false;
    double m_waitSeconds = 10;
    bool m_waitForScreen = true;
    double m_screenSeconds = 10;
};
