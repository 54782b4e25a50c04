#pragma once

#include "Platform/ScreenCapture.h"

#include <QByteArray>
#include <mutex>

struct _XDisplay;
struct _XImage;

// The screen read from the X server on a connection of its own: through a shared-memory
// image where the server offers MIT-SHM (local displays), else with plain GetImage.
// X11 has no output scales: logical coordinates are the root window's pixels.
class X11ScreenCapture : public ScreenCapture
{
public:
    explicit X11ScreenCapture(QByteArray displayName = {});
    ~X11ScreenCapture() override;
    X11ScreenCapture(const X11ScreenCapture&) = delete;
    X11ScreenCapture& operator=(const X11ScreenCapture&) = delete;

    Expected<ScreenImage, CaptureError> capture(const QRectF& area) override;
    Expected<ScreenImage, CaptureError> captureScreen() override;
    QString mechanism() override;

    // Off: plain GetImage even where shared memory works (the benchmark's baseline).
    void setSharedMemory(bool on);

private:
    bool openLocked();
    void releaseSharedImage();
    // Reads the part of `area` on the root window into `image`.
    bool readLocked(int x, int y, int width, int height, ScreenImage& image, QString& why);

    QByteArray m_displayName;
    std::mutex m_mutex;
    _XDisplay* m_display = nullptr;
    unsigned long m_root = 0;
    int m_rootWidth = 0;
    int m_rootHeight = 0;
    bool m_shmAvailable = false;
    bool m_shmWanted = true;
    // The shared image of the last size read, kept for the next read of that size.
    _XImage* m_shmImage = nullptr;
    struct SharedSegment;
    SharedSegment* m_segment = nullptr;
};
