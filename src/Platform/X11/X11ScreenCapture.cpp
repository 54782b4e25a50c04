#include "Platform/X11/X11ScreenCapture.h"

#include "Platform/X11/X11Errors.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cmath>
#include <cstring>

struct X11ScreenCapture::SharedSegment {
    XShmSegmentInfo info{};
};

namespace {

// The largest area read at once (a 16K screen); larger requests are refused before any
// memory is asked for.
constexpr long long kMaxPixels = 16384LL * 16384LL;

// The channel of a pixel value under `mask`, as 8 bits.
std::uint8_t channel(unsigned long pixel, unsigned long mask)
{
    if (mask == 0)
        return 0;
    int shift = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    const unsigned long value = (pixel >> shift) & mask;
    return std::uint8_t(value * 255 / mask);
}

// Copies `from` (the X image of a read) into `to` at (dx, dy), as blue, green, red, 0.
void copyPixels(XImage* from, ScreenImage& to, int dx, int dy)
{
    const bool direct = from->bits_per_pixel == 32 && from->byte_order == LSBFirst && from->red_mask == 0xff0000 &&
                        from->green_mask == 0xff00 && from->blue_mask == 0xff;
    for (int y = 0; y < from->height; ++y) {
        std::uint8_t* row = &to.pixels[(std::size_t(dy + y) * to.width + dx) * 4];
        if (direct) {
            std::memcpy(row, from->data + std::size_t(y) * from->bytes_per_line, std::size_t(from->width) * 4);
            for (int x = 0; x < from->width; ++x)
                row[x * 4 + 3] = 0;
            continue;
        }
        for (int x = 0; x < from->width; ++x) {
            const unsigned long pixel = XGetPixel(from, x, y);
            row[x * 4] = channel(pixel, from->blue_mask);
            row[x * 4 + 1] = channel(pixel, from->green_mask);
            row[x * 4 + 2] = channel(pixel, from->red_mask);
            row[x * 4 + 3] = 0;
        }
    }
}

} // namespace

X11ScreenCapture::X11ScreenCapture(QByteArray displayName) : m_displayName(std::move(displayName))
{
    X11Errors::install();
}

X11ScreenCapture::~X11ScreenCapture()
{
    std::lock_guard lock(m_mutex);
    releaseSharedImage();
    if (m_display)
        XCloseDisplay(m_display);
}

void X11ScreenCapture::setSharedMemory(bool on)
{
    std::lock_guard lock(m_mutex);
    m_shmWanted = on;
    releaseSharedImage();
}

bool X11ScreenCapture::openLocked()
{
    if (m_display)
        return true;
    m_display = XOpenDisplay(m_displayName.isEmpty() ? nullptr : m_displayName.constData());
    if (!m_display)
        return false;
    m_root = DefaultRootWindow(m_display);
    m_rootWidth = DisplayWidth(m_display, DefaultScreen(m_display));
    m_rootHeight = DisplayHeight(m_display, DefaultScreen(m_display));
    int major = 0, minor = 0;
    Bool pixmaps = False;
    m_shmAvailable = XShmQueryExtension(m_display) && XShmQueryVersion(m_display, &major, &minor, &pixmaps);
    return true;
}

void X11ScreenCapture::releaseSharedImage()
{
    if (!m_shmImage)
        return;
    XShmDetach(m_display, &m_segment->info);
    XSync(m_display, False);
    XDestroyImage(m_shmImage);
    shmdt(m_segment->info.shmaddr);
    delete m_segment;
    m_shmImage = nullptr;
    m_segment = nullptr;
}

bool X11ScreenCapture::readLocked(int x, int y, int width, int height, ScreenImage& image, QString& why)
{
    X11Errors::Scope scope(m_display);
    if (m_shmAvailable && m_shmWanted) {
        if (m_shmImage && (m_shmImage->width != width || m_shmImage->height != height))
            releaseSharedImage();
        if (!m_shmImage) {
            Visual* visual = DefaultVisual(m_display, DefaultScreen(m_display));
            const int depth = DefaultDepth(m_display, DefaultScreen(m_display));
            auto* segment = new SharedSegment;
            XImage* created = XShmCreateImage(m_display, visual, unsigned(depth), ZPixmap, nullptr, &segment->info,
                                              unsigned(width), unsigned(height));
            if (created) {
                // Removed at once: the segment lives while this process and the server hold it.
                segment->info.shmid = shmget(IPC_PRIVATE, std::size_t(created->bytes_per_line) * created->height,
                                             IPC_CREAT | 0600);
                if (segment->info.shmid >= 0) {
                    segment->info.shmaddr = created->data = static_cast<char*>(shmat(segment->info.shmid, nullptr, 0));
                    segment->info.readOnly = False;
                    shmctl(segment->info.shmid, IPC_RMID, nullptr);
                    if (segment->info.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(m_display, &segment->info) &&
                        scope.sync() == 0) {
                        m_shmImage = created;
                        m_segment = segment;
                    } else {
                        if (segment->info.shmaddr != reinterpret_cast<char*>(-1))
                            shmdt(segment->info.shmaddr);
                        created->data = nullptr;
                    }
                }
                if (!m_shmImage)
                    XDestroyImage(created);
            }
            if (!m_shmImage) {
                delete segment;
                m_shmAvailable = false; // a remote display, or no segments to be had: plain reads from now on
            }
        }
        if (m_shmImage) {
            if (XShmGetImage(m_display, m_root, m_shmImage, x, y, AllPlanes) && scope.sync() == 0) {
                copyPixels(m_shmImage, image, x - int(image.area.x()), y - int(image.area.y()));
                return true;
            }
            releaseSharedImage();
        }
    }
    XImage* read = XGetImage(m_display, m_root, x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    const int error = scope.sync();
    if (!read || error) {
        if (read)
            XDestroyImage(read);
        why = QStringLiteral("the X server did not give the pixels (X error %1)").arg(error);
        return false;
    }
    copyPixels(read, image, x - int(image.area.x()), y - int(image.area.y()));
    XDestroyImage(read);
    return true;
}

Expected<ScreenImage, CaptureError> X11ScreenCapture::capture(const QRectF& area)
{
    std::lock_guard lock(m_mutex);
    if (!openLocked())
        return failure(CaptureError{CaptureError::Kind::unavailable, QStringLiteral("the X display cannot be opened")});
    // Whole pixels covering the area.
    const int left = int(std::floor(area.left())), top = int(std::floor(area.top()));
    const int width = int(std::ceil(area.right())) - left, height = int(std::ceil(area.bottom())) - top;
    if (width <= 0 || height <= 0 || double(width) * height > double(kMaxPixels))
        return failure(CaptureError{CaptureError::Kind::failed,
                                    QStringLiteral("%1 x %2 pixels is not an area to read").arg(width).arg(height)});
    ScreenImage image{QRectF(left, top, width, height), width, height,
                      std::vector<std::uint8_t>(std::size_t(width) * std::size_t(height) * 4, 0)};
    // Only what lies on the root window is read; the rest stays black.
    const int x0 = std::max(left, 0), y0 = std::max(top, 0);
    const int x1 = std::min(left + width, m_rootWidth), y1 = std::min(top + height, m_rootHeight);
    if (x1 <= x0 || y1 <= y0)
        return image;
    QString why;
    if (!readLocked(x0, y0, x1 - x0, y1 - y0, image, why))
        return failure(CaptureError{CaptureError::Kind::failed, why});
    return image;
}

Expected<ScreenImage, CaptureError> X11ScreenCapture::captureScreen()
{
    int width = 0, height = 0;
    {
        std::lock_guard lock(m_mutex);
        if (!openLocked())
            return failure(CaptureError{CaptureError::Kind::unavailable, QStringLiteral("the X display cannot be opened")});
        width = m_rootWidth;
        height = m_rootHeight;
    }
    return capture(QRectF(0, 0, width, height));
}

QString X11ScreenCapture::mechanism()
{
    std::lock_guard lock(m_mutex);
    if (!openLocked())
        return QStringLiteral("none: the X display cannot be opened");
    return m_shmAvailable && m_shmWanted ? QStringLiteral("the X server, through shared memory")
                                         : QStringLiteral("the X server");
}
