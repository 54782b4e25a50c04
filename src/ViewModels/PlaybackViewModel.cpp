#include "ViewModels/PlaybackViewModel.h"

#include <cstdio>

void PlaybackViewModel::setInfiniteLoop(bool value)
{
    m_isInfiniteLoop = value;
    m_options.isInfinite = value;
    Q_EMIT changed();
}

void PlaybackViewModel::setLoopCount(qint64 value)
{
    m_loopCount = value;
    m_options.loopCount = value;
    Q_EMIT changed();
}

void PlaybackViewModel::setSpeedMultiplier(double value)
{
    m_speedMultiplier = value;
    m_options.speedMultiplier = value;
    Q_EMIT changed();
}

void PlaybackViewModel::setUseDelayOverride(bool value)
{
    m_useDelayOverride = value;
    m_options.delayOverride = value ? std::optional<double>(m_delayOverrideValue) : std::nullopt;
    Q_EMIT changed();
}

void PlaybackViewModel::setDelayOverrideValue(double value)
{
    m_delayOverrideValue = value;
    if (m_useDelayOverride)
        m_options.delayOverride = value;
    Q_EMIT changed();
}

QString PlaybackViewModel::speedLabel() const
{
    if (m_speedMultiplier == 1.0)
        return QStringLiteral("1\u00d7 (Normal)");
    // printf's rounding (1.25 gives "1.2", the tie to even), which QString::number does not follow.
    char text[32];
    std::snprintf(text, sizeof text, "%.2g", m_speedMultiplier);
    return QString::fromLatin1(text) + QStringLiteral("\u00d7");
}

void PlaybackViewModel::setWaitForApplications(bool value)
{
    m_waitForApplications = value;
    m_options.waitForApplications = value ? m_waitSeconds : 0;
    Q_EMIT changed();
}

void PlaybackViewModel::setWaitSeconds(double value)
{
    m_waitSeconds = value;
    if (m_waitForApplications)
        m_options.waitForApplications = value;
    Q_EMIT changed();
}

void PlaybackViewModel::setWaitForScreen(bool value)
{
    m_waitForScreen = value;
    m_options.waitForScreen = value ? m_screenSeconds : 0;
    Q_EMIT changed();
}

void PlaybackViewModel::setScreenSeconds(double value)
{
    m_screenSeconds = value;
    if (m_waitForScreen)
        m_options.waitForScreen = value;
    Q_EMIT changed();
}
