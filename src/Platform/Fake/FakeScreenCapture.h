#pragma once

#include "Platform/ScreenCapture.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>

// A screen the test paints: `screen` is what every capture reads from (its area is the
// whole screen), `beforeCapture` may change it first (an application drawing late),
// `failure` makes every capture fail, and `captures` counts them. Captures may come from
// another thread: change the screen there through setScreen().
class FakeScreenCapture : public ScreenCapture
{
public:
    ScreenImage screen;
    std::optional<CaptureError> failure;
    std::atomic<int> captures{0};
    std::function<void()> beforeCapture;

    void setScreen(ScreenImage image)
    {
        std::lock_guard lock(m_mutex);
        screen = std::move(image);
    }

    Expected<ScreenImage, CaptureError> capture(const QRectF& area) override
    {
        std::lock_guard lock(m_mutex);
        ++captures;
        if (beforeCapture)
            beforeCapture();
        if (failure)
            return ::failure(*failure);
        const double scale = screen.scale();
        const int width = int(area.width() * scale), height = int(area.height() * scale);
        ScreenImage part{area, width, height, std::vector<std::uint8_t>(std::size_t(width) * height * 4, 0)};
        const int left = int((area.x() - screen.area.x()) * scale), top = int((area.y() - screen.area.y()) * scale);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int sx = left + x, sy = top + y;
                if (sx < 0 || sy < 0 || sx >= screen.width || sy >= screen.height)
                    continue;
                const std::size_t from = (std::size_t(sy) * screen.width + sx) * 4, to = (std::size_t(y) * width + x) * 4;
                std::copy_n(&screen.pixels[from], 4, &part.pixels[to]);
            }
        return part;
    }
    Expected<ScreenImage, CaptureError> captureScreen() override
    {
        QRectF whole;
        {
            std::lock_guard lock(m_mutex);
            whole = screen.area;
        }
        return capture(whole);
    }
    QString mechanism() override { return QStringLiteral("the test's screen"); }

private:
    std::mutex m_mutex;
};
