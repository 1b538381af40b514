// Reads the display profile that colour managers (colord, ArgyllCMS' dispwin) set on the root
// window, through Qt's own X11 connection.
#include "X11ScreenProfile.h"

#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QScreen>
#include <cstdlib>
#include <memory>
#include <string>

namespace zelqor {
namespace {

// Display profiles are kilobytes; one of many megabytes is no profile worth waiting for.
constexpr std::uint32_t kMaxProfileBytes = 16 << 20;

struct FreeReply {
    void operator()(void* p) const { std::free(p); }
};

std::vector<std::uint8_t> RootProperty(xcb_connection_t* connection, const std::string& name) {
    const xcb_intern_atom_cookie_t atomCookie =
        xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(name.size()), name.data());
    const std::unique_ptr<xcb_intern_atom_reply_t, FreeReply> atom(
        xcb_intern_atom_reply(connection, atomCookie, nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        return {};  // no client ever named it, so no screen has it
    }
    const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (root == nullptr) {
        return {};
    }
    const xcb_get_property_cookie_t cookie = xcb_get_property(
        connection, 0, root->root, atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxProfileBytes / 4);
    const std::unique_ptr<xcb_get_property_reply_t, FreeReply> reply(
        xcb_get_property_reply(connection, cookie, nullptr));
    if (!reply || reply->format != 8 || reply->bytes_after != 0) {
        return {};
    }
    const auto* data = static_cast<const std::uint8_t*>(xcb_get_property_value(reply.get()));
    const int length = xcb_get_property_value_length(reply.get());
    return length > 0 ? std::vector<std::uint8_t>(data, data + length)
                      : std::vector<std::uint8_t>{};
}

}  // namespace

std::vector<std::uint8_t> X11ScreenProfile(const QScreen* screen) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) {
        return {};  // another platform (Wayland, offscreen): the screen counts as sRGB
    }
    // Colour managers number the outputs as the desktop lists its screens.
    const qsizetype index = screen ? QGuiApplication::screens().indexOf(screen) : 0;
    if (index > 0) {
        std::vector<std::uint8_t> own =
            RootProperty(x11->connection(), "_ICC_PROFILE_" + std::to_string(index));
        if (!own.empty()) {
            return own;
        }
    }
    return RootProperty(x11->connection(), "_ICC_PROFILE");
}

}  // namespace zelqor
