#include "Platform/Wayland/GrimScreenCapture.h"

#include "Codec/PngCodec.h"
#include "Platform/Wayland/CaptureArea.h"

#include <QProcess>
#include <QStandardPaths>

#include <cmath>

GrimScreenCapture::GrimScreenCapture(std::function<std::vector<Output>()> outputs, QProcessEnvironment environment)
    : m_outputs(std::move(outputs)), m_environment(std::move(environment))
{
}

bool GrimScreenCapture::available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("grim")).isEmpty();
}

Expected<ScreenImage, CaptureError> GrimScreenCapture::captureScreen()
{
    const auto whole = CaptureArea::wholeScreen(m_outputs(), QStringLiteral("the desktop reports no outputs"));
    if (!whole)
        return failure(whole.error());
    return capture(whole.value());
}

Expected<ScreenImage, CaptureError> GrimScreenCapture::capture(const QRectF& wanted)
{
    const auto snapped = CaptureArea::wholePixels(wanted);
    if (!snapped)
        return failure(snapped.error());
    const QRectF area = snapped.value();
    // The part on the outputs, at the largest scale among them.
    QRectF shown;
    double scale = 1;
    for (const Output& output : m_outputs()) {
        const QRectF part = output.geometry.intersected(area);
        if (part.isEmpty())
            continue;
        shown = shown.united(part);
        scale = std::max(scale, output.scale);
    }
    const int width = int(std::lround(area.width() * scale)), height = int(std::lround(area.height() * scale));
    ScreenImage image{area, width, height, std::vector<std::uint8_t>(std::size_t(width) * std::size_t(height) * 4, 0)};
    if (shown.isEmpty())
        return image;
    QProcess grim;
    grim.setProcessEnvironment(m_environment);
    grim.start(QStringLiteral("grim"),
               {QStringLiteral("-g"),
                QStringLiteral("%1,%2 %3x%4").arg(shown.x()).arg(shown.y()).arg(shown.width()).arg(shown.height()),
                QStringLiteral("-t"), QStringLiteral("png"), QStringLiteral("-")});
    if (!grim.waitForStarted(timeoutMs))
        return failure(CaptureError{CaptureError::Kind::unavailable, QStringLiteral("grim is not installed")});
    QByteArray png;
    while (grim.state() != QProcess::NotRunning || grim.bytesAvailable() > 0) {
        if (!grim.waitForReadyRead(timeoutMs) && grim.state() != QProcess::NotRunning) {
            grim.kill();
            grim.waitForFinished(1000);
            return failure(CaptureError{CaptureError::Kind::failed, QStringLiteral("grim did not answer")});
        }
        png += grim.readAllStandardOutput();
        if (png.size() > maxBytes) {
            grim.kill();
            grim.waitForFinished(1000);
            return failure(CaptureError{CaptureError::Kind::failed, QStringLiteral("grim wrote more than a screen")});
        }
        if (grim.state() == QProcess::NotRunning && grim.bytesAvailable() == 0)
            break;
    }
    grim.waitForFinished(timeoutMs);
    if (grim.exitStatus() != QProcess::NormalExit || grim.exitCode() != 0) {
        const QString said = QString::fromUtf8(grim.readAllStandardError().left(300)).simplified();
        return failure(CaptureError{CaptureError::Kind::refused, said.isEmpty() ? QStringLiteral("grim failed") : said});
    }
    auto decoded = PngCodec::decode(png, shown, CaptureArea::maxSide);
    if (!decoded)
        return failure(CaptureError{CaptureError::Kind::failed, decoded.error()});
    // Into its place in the area, at the area's scale.
    const ScreenImage& part = decoded.value();
    const int left = int(std::lround((shown.x() - area.x()) * scale)), top = int(std::lround((shown.y() - area.y()) * scale));
    for (int y = 0; y < part.height && top + y < height; ++y)
        for (int x = 0; x < part.width && left + x < width; ++x)
            std::copy_n(&part.pixels[(std::size_t(y) * part.width + x) * 4], 4,
                        &image.pixels[(std::size_t(top + y) * width + left + x) * 4]);
    return image;
}
