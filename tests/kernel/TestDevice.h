#pragma once

// A uinput device of the test's own: a keyboard or a mouse, as a person's would be (the
// kernel suite's guest only).
#include <QString>
#include <QThread>
#include <gtest/gtest.h>

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

class TestDevice
{
public:
    explicit TestDevice(bool mouse, const char* name = nullptr)
    {
        libevdev* d = libevdev_new();
        libevdev_set_name(d, name ? name : mouse ? "Test mouse" : "Test keyboard");
        libevdev_enable_event_type(d, EV_KEY);
        if (mouse) {
            for (unsigned c : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE})
                libevdev_enable_event_code(d, EV_KEY, c, nullptr);
            libevdev_enable_event_type(d, EV_REL);
            for (unsigned c : {REL_X, REL_Y, REL_WHEEL, REL_WHEEL_HI_RES})
                libevdev_enable_event_code(d, EV_REL, c, nullptr);
        } else {
            for (unsigned c = KEY_ESC; c <= KEY_MICMUTE; ++c)
                libevdev_enable_event_code(d, EV_KEY, c, nullptr);
        }
        EXPECT_EQ(libevdev_uinput_create_from_device(d, LIBEVDEV_UINPUT_OPEN_MANAGED, &m_device), 0);
        libevdev_free(d);
    }
    ~TestDevice() { libevdev_uinput_destroy(m_device); }
    QString devnode() const { return QString::fromLocal8Bit(libevdev_uinput_get_devnode(m_device)); }
    void send(unsigned type, unsigned code, int value)
    {
        libevdev_uinput_write_event(m_device, type, code, value);
        libevdev_uinput_write_event(m_device, EV_SYN, SYN_REPORT, 0);
    }
    // A key pressed and let go at a person's pace.
    void tap(unsigned key)
    {
        send(EV_KEY, key, 1);
        QThread::msleep(40);
        send(EV_KEY, key, 0);
        QThread::msleep(120);
    }

private:
    libevdev_uinput* m_device = nullptr;
};
