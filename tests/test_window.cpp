// The other windows of a desktop, for the end-to-end test; each runs until
// killed. `panel HEIGHT`: a panel across the top of the screen, a dock window
// that reserves its height through _NET_WM_STRUT_PARTIAL. `window X Y W H`:
// an ordinary window there, such as one the user works in.
// usage: test_window panel HEIGHT | test_window window X Y WIDTH HEIGHT
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply
        = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool panel = argc == 3 && std::strcmp(argv[1], "panel") == 0;
    const bool ordinary = argc == 6 && std::strcmp(argv[1], "window") == 0;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (!(panel || ordinary) || xcb_connection_has_error(connection)) {
        std::fputs("usage: test_window panel HEIGHT | window X Y WIDTH HEIGHT, "
                   "with an X server in DISPLAY\n",
            stderr);
        return 2;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint16_t width = panel ? screen->width_in_pixels : uint16_t(std::atoi(argv[4]));
    const uint16_t height = uint16_t(std::atoi(argv[panel ? 2 : 5]));

    const xcb_window_t window = xcb_generate_id(connection);
    const uint32_t background = screen->black_pixel;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, int16_t(panel ? 0 : std::atoi(argv[2])),
        int16_t(panel ? 0 : std::atoi(argv[3])), width, height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
        XCB_CW_BACK_PIXEL, &background);
    if (ordinary) {
        // Placed where asked: user-specified position and size.
        const uint32_t hints[18] = { 1 | 2 };
        xcb_change_property(
            connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    } else {
        const xcb_atom_t dock = atom(connection, "_NET_WM_WINDOW_TYPE_DOCK");
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom(connection, "_NET_WM_WINDOW_TYPE"),
            XCB_ATOM_ATOM, 32, 1, &dock);
        // left, right, top, bottom, then the start and end of each: the top, across
        // the whole width.
        const uint32_t strut[12] = { 0, 0, uint32_t(height), 0, 0, 0, 0, 0, 0, uint32_t(width - 1), 0, 0 };
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom(connection, "_NET_WM_STRUT_PARTIAL"),
            XCB_ATOM_CARDINAL, 32, 12, strut);
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom(connection, "_NET_WM_STRUT"),
            XCB_ATOM_CARDINAL, 32, 4, strut);
    }
    xcb_map_window(connection, window);
    xcb_flush(connection);

    while (xcb_generic_event_t* event = xcb_wait_for_event(connection))
        std::free(event);
    return 0;
}
