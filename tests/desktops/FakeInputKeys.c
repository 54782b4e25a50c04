/* Presses keys in a KWin session the way a keyboard would, through KWin's fake-input
 * protocol (offered to clients when KWIN_WAYLAND_NO_PERMISSION_CHECKS is set):
 *   quillo_test_fakeinput CODE...   press the evdev codes in order, release them in reverse
 *   quillo_test_fakeinput --type CODE...   press and release each in turn
 * It prints "pressed MS" (CLOCK_MONOTONIC, in milliseconds) once the last key is down. */
#include "fake-input-client-protocol.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

static struct org_kde_kwin_fake_input* fake;

static void announced(void* data, struct wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    (void)data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        fake = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
}

static void removed(void* data, struct wl_registry* registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener listener = {announced, removed};

static void pause_ms(long ms)
{
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

int main(int argc, char** argv)
{
    int type = argc > 1 && strcmp(argv[1], "--type") == 0;
    int first = type ? 2 : 1;
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, NULL);
    wl_display_roundtrip(display);
    if (!fake) {
        fprintf(stderr, "the compositor offers no fake input (version 4)\n");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fake, "Quillo tests", "presses test chords");
    wl_display_roundtrip(display);
    pause_ms(300); /* KWin takes a moment before it trusts a new client */
    struct timespec now = {0, 0};
    for (int i = first; i < argc; ++i) {
        org_kde_kwin_fake_input_keyboard_key(fake, (uint32_t)atoi(argv[i]), 1);
        if (type)
            org_kde_kwin_fake_input_keyboard_key(fake, (uint32_t)atoi(argv[i]), 0);
        wl_display_flush(display);
        clock_gettime(CLOCK_MONOTONIC, &now); /* the last one is the chord's moment */
        wl_display_roundtrip(display);
        if (i + 1 < argc)
            pause_ms(20);
    }
    printf("pressed %lld\n", (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000);
    fflush(stdout);
    for (int i = argc - 1; !type && i >= first; --i) {
        org_kde_kwin_fake_input_keyboard_key(fake, (uint32_t)atoi(argv[i]), 0);
        wl_display_roundtrip(display);
    }
    wl_display_disconnect(display);
    return 0;
}
