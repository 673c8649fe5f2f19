// A pointer (and, under KWin, a keyboard) for the Wayland end-to-end test:
// plugged in once and kept, as a compositor gives a press to a surface only
// from a pointer that has moved over it. wlroots' virtual pointer where the
// compositor offers it, else KWin's fake input. Reads lines from standard
// input:
//   move X Y      (output pixels, on an output of WIDTH x HEIGHT)
//   press | release
//   key CODE      (an evdev key code, pressed and released; KWin only)
// and answers "ok" once the compositor has taken each in.
// usage: wayland-pointer WIDTH HEIGHT
#include "fake-input-client.h"
#include "virtual-pointer-client.h"

#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <sstream>
#include <string>

namespace {

zwlr_virtual_pointer_manager_v1* manager = nullptr;
org_kde_kwin_fake_input* fake = nullptr;
wl_seat* seat = nullptr;

void announced(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    else if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0)
        fake = static_cast<org_kde_kwin_fake_input*>(wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
    else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat)
        seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
}

void withdrawn(void*, wl_registry*, uint32_t) {}

uint32_t now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return uint32_t(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const uint32_t width = uint32_t(std::atoi(argv[1])), height = uint32_t(std::atoi(argv[2]));
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fputs("wayland-pointer: no Wayland display\n", stderr);
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    static const wl_registry_listener listener = {announced, withdrawn};
    wl_registry_add_listener(registry, &listener, nullptr);
    wl_display_roundtrip(display);
    zwlr_virtual_pointer_v1* pointer = nullptr;
    if (manager)
        pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    else if (fake)
        org_kde_kwin_fake_input_authenticate(fake, "velmora-test", "end-to-end test");
    else {
        std::fputs("wayland-pointer: the compositor offers no virtual pointer\n", stderr);
        return 1;
    }
    wl_display_roundtrip(display);
    constexpr uint32_t leftButton = 0x110;  // BTN_LEFT
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        uint32_t x = 0, y = 0;
        words >> x >> y;
        if (command == "move" && pointer)
            zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), x, y, width, height);
        else if (command == "move")
            org_kde_kwin_fake_input_pointer_motion_absolute(fake, wl_fixed_from_int(int(x)), wl_fixed_from_int(int(y)));
        else if ((command == "press" || command == "release") && pointer)
            zwlr_virtual_pointer_v1_button(pointer, now(), leftButton, command == "press" ? 1 : 0);
        else if (command == "press" || command == "release")
            org_kde_kwin_fake_input_button(fake, leftButton, command == "press" ? 1 : 0);
        else if (command == "key" && fake) {
            org_kde_kwin_fake_input_keyboard_key(fake, x, 1);
            org_kde_kwin_fake_input_keyboard_key(fake, x, 0);
        } else
            continue;
        if (pointer)
            zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
        std::puts("ok");
        std::fflush(stdout);
    }
    if (pointer)
        zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_disconnect(display);
}
