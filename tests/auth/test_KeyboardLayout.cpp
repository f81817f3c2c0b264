// The keyboard layout of the X display: XKB layout names, the active group, and the
// state notices that tell of a change.
#include "platform/KeyboardLayout.h"

#include <QObject>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
// Last: Xlib's macros (KeyPress, None, ...) clash with Qt's names.
#include <X11/XKBlib.h>

namespace {

QString S(const char* text) {
    return QString::fromUtf8(text);
}

TEST(KeyboardLayout, XkbLayoutNames) {
    const struct {
        const char* xkb;
        const char* id;
    } cases[] = {
        {"us", "00000409"}, {"gb", "00000809"}, {"ru", "00000419"}, {"ua", "00000422"},
        {"de", "00000407"}, {"xx", ""},         {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xkb);
        EXPECT_EQ(Os::KeyboardLayoutIdOfXkbLayout(S(c.xkb)), S(c.id));
    }
}

TEST(KeyboardLayout, SystemLayoutOfTheDisplay) {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display";
    // Xvfb starts with the US layout.
    EXPECT_EQ(Os::SystemKeyboardLayoutName(), S("00000409"));
}

// Switches the display's keyboard to two layouts while it lives.
class TTwoLayouts {
public:
    TTwoLayouts() : FDisplay(XOpenDisplay(nullptr)) {
        int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
        Ok = FDisplay != nullptr &&
             XkbQueryExtension(FDisplay, &opcode, &EventBase, &error, &major, &minor) &&
             std::system("setxkbmap -layout us,ru") == 0;
    }
    ~TTwoLayouts() {
        if (Ok)
            EXPECT_EQ(std::system("setxkbmap -layout us"), 0);
        if (FDisplay != nullptr)
            XCloseDisplay(FDisplay);
    }
    TTwoLayouts(const TTwoLayouts&) = delete;
    TTwoLayouts& operator=(const TTwoLayouts&) = delete;

    void LockGroup(unsigned group) {
        XkbLockGroup(FDisplay, XkbUseCoreKbd, group);
        XSync(FDisplay, False);
    }

    bool Ok = false;
    int EventBase = -1;

private:
    Display* FDisplay;
};

TEST(KeyboardLayout, GroupsOfTheDisplay) {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display";
    TTwoLayouts display;
    ASSERT_TRUE(display.Ok);
    EXPECT_EQ(Os::SystemKeyboardLayoutName(), S("00000409"));
    display.LockGroup(1);
    EXPECT_EQ(Os::SystemKeyboardLayoutName(), S("00000419"));
    display.LockGroup(0);
    EXPECT_EQ(Os::SystemKeyboardLayoutName(), S("00000409"));

    // XKB state notices as Qt's connection receives them: only a new group is a change.
    TKeyboardLayoutWatcher watcher;
    int changes = 0;
    QObject::connect(&watcher, &TKeyboardLayoutWatcher::LayoutChanged, [&] { ++changes; });
    const struct {
        const char* name;
        int eventCode;
        int xkbType;
        int group;
        int changes; // after this notice
    } notices[] = {
        {"modifiers only, same group", display.EventBase, XkbStateNotify, 0, 0},
        {"group 1", display.EventBase, XkbStateNotify, 1, 1},
        {"group 1 again", display.EventBase, XkbStateNotify, 1, 1},
        {"sent by another client", display.EventBase | 0x80, XkbStateNotify, 0, 2},
        {"another XKB event", display.EventBase, XkbMapNotify, 1, 2},
        {"another event", display.EventBase + 1, XkbStateNotify, 1, 2},
    };
    for (const auto& n : notices) {
        SCOPED_TRACE(n.name);
        std::uint8_t event[32] = {};
        event[0] = static_cast<std::uint8_t>(n.eventCode);
        event[1] = static_cast<std::uint8_t>(n.xkbType);
        event[13] = static_cast<std::uint8_t>(n.group);
        EXPECT_FALSE(watcher.nativeEventFilter("xcb_generic_event_t", event, nullptr));
        EXPECT_EQ(changes, n.changes);
    }
}

} // namespace
