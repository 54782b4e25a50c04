#pragma once

#include "InputdProtocol.h"

#include <string>

struct libevdev_uinput;

// The helper's own input devices for replay: one keyboard and one pointer that is
// absolute (0..32767 on both axes: compositors stretch it over all outputs) with three
// buttons and a wheel (also in 120ths). Made when the helper starts, so that the desktop
// has taken them in before the first event (a device written to the moment it appears
// loses what udev and the compositor have not yet seen); both carry names that the
// capture recognises and skips.
class VirtualDevices
{
public:
    inline static const std::string keyboardName = "Quillo virtual keyboard";
    inline static const std::string pointerName = "Quillo virtual pointer";

    VirtualDevices() = default;
    ~VirtualDevices();
    VirtualDevices(const VirtualDevices&) = delete;
    VirtualDevices& operator=(const VirtualDevices&) = delete;

    // Makes the devices; false with the reason when /dev/uinput refuses.
    bool open(std::string& error);
    bool isOpen() const { return m_keyboard && m_pointer; }
    // One event to the device it belongs to; a report (EV_SYN) goes to each device that
    // received something since the last one.
    bool post(const InputdProtocol::Post& event, std::string& error);
    // Whether a device name is one of ours (the capture skips them).
    static bool isOwnDevice(const std::string& name);
    // Whether udev has processed both devices (its database has them), which is when
    // libinput hands them to the compositor; true where no udev runs.
    bool udevHasProcessed(const std::string& udevFolder = "/run/udev") const;

private:
    libevdev_uinput* m_keyboard = nullptr;
    libevdev_uinput* m_pointer = nullptr;
    bool m_keyboardDirty = false;
    bool m_pointerDirty = false;
};
