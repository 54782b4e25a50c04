#include "Services/Screen/ScreenWaitCheck.h"

#include "Services/Screen/PictureSearch.h"

#include <cmath>
#include <cstdlib>

ScreenWaitCheck::ScreenWaitCheck(const ScreenWait& wait, ScreenCapture* capture, WindowWatch* windows,
                                 const ScreenImage* picture)
    : m_wait(wait), m_capture(capture), m_windows(windows), m_picture(picture)
{
    if (wait.kind == ScreenWait::Kind::window && wait.titleMatch == ScreenWait::TitleMatch::pattern)
        m_pattern = QRegularExpression(wait.title, QRegularExpression::CaseInsensitiveOption);
}

bool ScreenWaitCheck::names(const ScreenWait& wait, const DesktopWindow& window, const QRegularExpression& pattern)
{
    if (!wait.app.isEmpty() && window.appId.compare(wait.app, Qt::CaseInsensitive) != 0 &&
        window.appName.compare(wait.appName.isEmpty() ? wait.app : wait.appName, Qt::CaseInsensitive) != 0)
        return false;
    if (wait.title.isEmpty())
        return true;
    if (wait.titleMatch == ScreenWait::TitleMatch::pattern)
        return pattern.isValid() && pattern.match(window.title).hasMatch();
    return window.title.contains(wait.title, Qt::CaseInsensitive);
}

bool ScreenWaitCheck::look(double now)
{
    switch (m_wait.kind) {
    case ScreenWait::Kind::image:
        return lookForPicture();
    case ScreenWait::Kind::color:
        return lookAtColor();
    case ScreenWait::Kind::window:
        return lookAtWindows();
    case ScreenWait::Kind::settle:
        return lookForQuiet(now);
    }
    return false;
}

std::optional<QRectF> ScreenWaitCheck::windowArea(const QString& app)
{
    if (!m_windows)
        return std::nullopt;
    const auto windows = m_windows->windows();
    if (!windows)
        return std::nullopt;
    std::optional<QRectF> area;
    for (const DesktopWindow& window : *windows) {
        const bool wanted = app.isEmpty() ? window.front
                                          : window.appId.compare(app, Qt::CaseInsensitive) == 0 ||
                                                window.appName.compare(app, Qt::CaseInsensitive) == 0;
        if (wanted && !window.area.isEmpty() && (!area || window.front))
            area = window.area;
    }
    return area;
}

bool ScreenWaitCheck::lookForPicture()
{
    if (!m_capture || !m_picture || m_picture->isNull())
        return false;
    PictureSearch::Where where;
    if (!m_wait.app.isEmpty()) {
        where.within = windowArea(m_wait.app);
        where.onlyWithin = true;
    }
    const auto at = PictureSearch::find(*m_capture, *m_picture, m_wait.threshold, where, &m_lastScreen);
    const bool steady = at && m_previousPlace && std::abs(at->x() - m_previousPlace->x()) <= 1 &&
                        std::abs(at->y() - m_previousPlace->y()) <= 1;
    m_foundOnce = at && !m_previousPlace;
    m_previousPlace = at;
    return steady;
}

bool ScreenWaitCheck::lookAtColor()
{
    if (!m_capture)
        return false;
    auto read = m_capture->capture(QRectF(m_wait.area.topLeft(), QSizeF(1, 1)));
    if (!read.hasValue() || read.value().isNull())
        return false;
    const ScreenImage& point = read.value();
    // The pixel at the point's own place (a scale-2 output gives four for it).
    const std::uint8_t* bgr = point.pixels.data();
    const int red = int(m_wait.color >> 16 & 0xff), green = int(m_wait.color >> 8 & 0xff), blue = int(m_wait.color & 0xff);
    const int far = std::max({std::abs(bgr[2] - red), std::abs(bgr[1] - green), std::abs(bgr[0] - blue)});
    m_lastScreen = std::move(read).value();
    return far <= m_wait.tolerance;
}

bool ScreenWaitCheck::lookAtWindows()
{
    if (!m_windows)
        return false;
    const auto windows = m_windows->windows();
    if (!windows)
        return false;
    bool any = false, inFront = false;
    for (const DesktopWindow& window : *windows)
        if (names(m_wait, window, m_pattern)) {
            any = true;
            inFront = inFront || window.front;
        }
    switch (m_wait.event) {
    case ScreenWait::WindowEvent::appear:
        return any;
    case ScreenWait::WindowEvent::front:
        return inFront;
    case ScreenWait::WindowEvent::close:
        return !any;
    }
    return false;
}

bool ScreenWaitCheck::lookForQuiet(double now)
{
    if (!m_capture)
        return false;
    std::optional<QRectF> area;
    if (!m_wait.area.isEmpty())
        area = m_wait.area;
    else
        area = windowArea({});
    auto read = area ? m_capture->capture(*area) : m_capture->captureScreen();
    if (!read.hasValue())
        return false;
    ScreenImage now_ = std::move(read).value();
    if (m_lastScreen.isNull() || now_ != m_lastScreen) {
        m_lastScreen = std::move(now_);
        m_quietSince = now;
        return false;
    }
    return now - m_quietSince >= m_wait.quietMs / 1000.0;
}
