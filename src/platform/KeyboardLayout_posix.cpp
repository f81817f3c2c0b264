#include "platform/KeyboardLayout.h"

#include <QHash>
#include <QStringList>
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <cstdint>
#include <memory>
#include <utility>

namespace {

struct TDisplayCloser {
    void operator()(Display* display) const noexcept { XCloseDisplay(display); }
};

// One connection of our own for the life of the process: the layout is asked for at
// each change, and opening a display per question would cost a handshake each time.
struct TXkbDisplay {
    std::unique_ptr<Display, TDisplayCloser> Connection;
    int EventBase = -1;

    TXkbDisplay() {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            return;
        int errorBase = 0;
        int major = XkbMajorVersion;
        int minor = XkbMinorVersion;
        int reason = 0;
        Connection.reset(XkbOpenDisplay(nullptr, &EventBase, &errorBase, &major, &minor, &reason));
        if (!Connection)
            EventBase = -1;
    }
};

TXkbDisplay& XkbDisplay() {
    static TXkbDisplay display;
    return display;
}

// The layout names of the keyboard's groups, from the rules names the server keeps on
// the root window: rules, model, layouts, variants, options, each ending in a zero byte.
QStringList GroupLayouts(Display* display) {
    const Atom rulesNames = XInternAtom(display, "_XKB_RULES_NAMES", True);
    if (rulesNames == None)
        return {};
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), rulesNames, 0, 1024, False,
                           XA_STRING, &type, &format, &count, &remaining, &data) != Success)
        return {};
    const std::unique_ptr<unsigned char, int (*)(void*)> owned(data, XFree);
    if (type != XA_STRING || format != 8 || data == nullptr)
        return {};
    const QList<QByteArray> fields =
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(count)).split('\0');
    if (fields.size() < 3)
        return {};
    return QString::fromLatin1(fields[2]).split(QLatin1Char(','));
}

// The keyboard's active group; -1 without a display.
int ActiveGroup() {
    Display* display = XkbDisplay().Connection.get();
    XkbStateRec state{};
    if (display == nullptr || XkbGetState(display, XkbUseCoreKbd, &state) != Success)
        return -1;
    return state.group;
}

} // namespace

namespace Os {

QString KeyboardLayoutIdOfXkbLayout(const QString& layout) {
    static const QHash<QString, QString> ids{
        {QStringLiteral("us"), QStringLiteral("00000409")},
        {QStringLiteral("gb"), QStringLiteral("00000809")},
        {QStringLiteral("ru"), QStringLiteral("00000419")},
        {QStringLiteral("ua"), QStringLiteral("00000422")},
        {QStringLiteral("by"), QStringLiteral("00000423")},
        {QStringLiteral("de"), QStringLiteral("00000407")},
        {QStringLiteral("fr"), QStringLiteral("0000040C")},
        {QStringLiteral("pl"), QStringLiteral("00000415")},
    };
    return ids.value(layout.trimmed());
}

QString SystemKeyboardLayoutName() {
    Display* display = XkbDisplay().Connection.get();
    const int group = ActiveGroup();
    if (group < 0)
        return {};
    const QStringList layouts = GroupLayouts(display);
    if (group >= layouts.size())
        return {};
    return KeyboardLayoutIdOfXkbLayout(layouts[group]);
}

} // namespace Os

bool TKeyboardLayoutWatcher::IsLayoutChange(const QByteArray& eventType, void* message) {
    // Offset of the effective group in the wire form of an XKB state notice.
    constexpr int GroupOffset = 13;
    if (eventType != "xcb_generic_event_t")
        return false;
    const int base = XkbDisplay().EventBase;
    if (base < 0)
        return false;
    // Every XKB event shares one event code; its second byte tells the kind. The
    // server numbers the extension's events alike for every client.
    const auto* bytes = static_cast<const std::uint8_t*>(message);
    if ((bytes[0] & 0x7f) != base || bytes[1] != XkbStateNotify)
        return false;
    // Modifier keys send state notices too; only a new group is a new layout.
    const int group = bytes[GroupOffset];
    return std::exchange(FLastGroup, group) != group;
}

void TKeyboardLayoutWatcher::RememberLayoutState() {
    FLastGroup = ActiveGroup();
}
