#include "VirtualDevices.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>

#include <cstring>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

bool isPointerEvent(std::uint16_t type, std::uint16_t code)
{
    return type == EV_ABS || type == EV_REL || (type == EV_KEY && code >= BTN_MISC && code < KEY_OK);
}

libevdev_uinput* create(libevdev* description, std::string& error)
{
    libevdev_uinput* device = nullptr;
    const int rc = libevdev_uinput_create_from_device(description, LIBEVDEV_UINPUT_OPEN_MANAGED, &device);
    libevdev_free(description);
    if (rc != 0) {
        error = std::string("cannot create a device through /dev/uinput: ") + std::strerror(-rc);
        return nullptr;
    }
    return device;
}

} // namespace

VirtualDevices::~VirtualDevices()
{
    if (m_keyboard)
        libevdev_uinput_destroy(m_keyboard);
    if (m_pointer)
        libevdev_uinput_destroy(m_pointer);
}

bool VirtualDevices::isOwnDevice(const std::string& name)
{
    return name == keyboardName || name == pointerName;
}

bool VirtualDevices::udevHasProcessed(const std::string& udevFolder) const
{
    struct stat info{};
    if (::stat((udevFolder + "/control").c_str(), &info) != 0)
        return true; // no udev: nobody to wait for
    for (libevdev_uinput* device : {m_keyboard, m_pointer}) {
        const char* node = device ? libevdev_uinput_get_devnode(device) : nullptr;
        if (!node || ::stat(node, &info) != 0)
            return false;
        const std::string entry = udevFolder + "/data/c" + std::to_string(major(info.st_rdev)) + ":" +
                                  std::to_string(minor(info.st_rdev));
        if (::stat(entry.c_str(), &info) != 0)
            return false;
    }
    return true;
}

bool VirtualDevices::open(std::string& error)
{
    if (isOpen())
        return true;
    if (!m_keyboard) {
        libevdev* keyboard = libevdev_new();
        libevdev_set_name(keyboard, keyboardName.c_str());
        libevdev_set_id_bustype(keyboard, BUS_VIRTUAL);
        libevdev_enable_event_type(keyboard, EV_KEY);
        for (unsigned code = KEY_ESC; code < BTN_MISC; ++code)
            libevdev_enable_event_code(keyboard, EV_KEY, code, nullptr);
        for (unsigned code = KEY_OK; code <= KEY_MAX; ++code)
            libevdev_enable_event_code(keyboard, EV_KEY, code, nullptr);
        m_keyboard = create(keyboard, error);
        if (!m_keyboard)
            return false;
    }
    libevdev* pointer = libevdev_new();
    libevdev_set_name(pointer, pointerName.c_str());
    libevdev_set_id_bustype(pointer, BUS_VIRTUAL);
    libevdev_enable_property(pointer, INPUT_PROP_POINTER);
    libevdev_enable_event_type(pointer, EV_KEY);
    for (unsigned code : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE})
        libevdev_enable_event_code(pointer, EV_KEY, code, nullptr);
    input_absinfo axis{};
    axis.minimum = 0;
    axis.maximum = 32767;
    axis.resolution = 1;
    libevdev_enable_event_type(pointer, EV_ABS);
    libevdev_enable_event_code(pointer, EV_ABS, ABS_X, &axis);
    libevdev_enable_event_code(pointer, EV_ABS, ABS_Y, &axis);
    libevdev_enable_event_type(pointer, EV_REL);
    for (unsigned code : {REL_WHEEL, REL_HWHEEL, REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES})
        libevdev_enable_event_code(pointer, EV_REL, code, nullptr);
    m_pointer = create(pointer, error);
    return m_pointer != nullptr;
}

bool VirtualDevices::post(const InputdProtocol::Post& event, std::string& error)
{
    if (!open(error))
        return false;
    auto write = [&](libevdev_uinput* device, std::uint16_t type, std::uint16_t code, std::int32_t value) {
        const int rc = libevdev_uinput_write_event(device, type, code, value);
        if (rc != 0)
            error = std::string("the virtual device refused an event: ") + std::strerror(-rc);
        return rc == 0;
    };
    if (event.type == EV_SYN) {
        bool ok = true;
        if (m_keyboardDirty)
            ok = write(m_keyboard, EV_SYN, SYN_REPORT, 0) && ok;
        if (m_pointerDirty)
            ok = write(m_pointer, EV_SYN, SYN_REPORT, 0) && ok;
        m_keyboardDirty = m_pointerDirty = false;
        return ok;
    }
    if (event.type != EV_KEY && event.type != EV_REL && event.type != EV_ABS) {
        error = "events of type " + std::to_string(event.type) + " are not posted";
        return false;
    }
    const bool pointer = isPointerEvent(event.type, event.code);
    (pointer ? m_pointerDirty : m_keyboardDirty) = true;
    return write(pointer ? m_pointer : m_keyboard, event.type, event.code, event.value);
}
