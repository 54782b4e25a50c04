#pragma once

#include "Models/Expected.h"
#include "Models/ScreenImage.h"
#include "Platform/CaptureError.h"

#include <QRectF>
#include <QString>

// What the screen shows now. Areas are in the logical screen coordinates of recorded
// positions; the pictures come at the outputs' own scale (see ScreenImage). Used from
// one thread at a time (a recording's or a playback's).
class ScreenCapture
{
public:
    virtual ~ScreenCapture() = default;

    // The pixels of `area`; what lies outside every output comes back black.
    virtual Expected<ScreenImage, CaptureError> capture(const QRectF& area) = 0;
    // The whole screen: every output's area together.
    virtual Expected<ScreenImage, CaptureError> captureScreen() = 0;
    // How this desktop's screen is read ("the X server, through shared memory"), for
    // `quillo doctor`.
    virtual QString mechanism() = 0;
    // Whether a recording or a playback that reads the screen runs now (said by each, on
    // the main thread, on and off in pairs): a desktop that shows Quillo the screen only
    // then hears of it.
    virtual void setReading(bool on) { Q_UNUSED(on); }
    // Whether a capture may put a question to the user (a portal's permission dialog), so
    // that nothing reads the screen just to see whether it can.
    virtual bool asksTheUser() const { return false; }
};
