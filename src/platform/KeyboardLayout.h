// The active keyboard layout, as the Windows-style input-locale identifier: eight
// hexadecimal digits whose low four name the language (e.g. "00000409" English (US),
// "00000419" Russian). Windows: GetKeyboardLayoutNameW. X11: the layout of the
// active XKB group, mapped to the identifier of its language.
//
// Tests install a source of their own in place of the system's, as with the
// message box.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QString>
#include <functional>

namespace Os {

// The identifier from the installed source, else from the system; empty when the
// system cannot tell (no display, a layout without a known language).
QString ActiveKeyboardLayoutName();

using KeyboardLayoutSource = std::function<QString()>;

// Installs a source and returns the one it replaces (empty for the system's).
KeyboardLayoutSource InstallKeyboardLayoutSource(KeyboardLayoutSource source);

// The system's answer, whatever source is installed.
QString SystemKeyboardLayoutName();

#ifndef _WIN32
// The identifier of an XKB layout name ("us", "gb", "ru", "ua", ...); empty when the
// layout is not known here.
QString KeyboardLayoutIdOfXkbLayout(const QString& layout);
#endif

} // namespace Os

// Reports each change of the input language: Qt's input-method locale change, and the
// system's own notice (the XKB group on X11, WM_INPUTLANGCHANGE on Windows), which Qt
// does not pass on for every keyboard. Needs a QGuiApplication.
class TKeyboardLayoutWatcher : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit TKeyboardLayoutWatcher(QObject* parent = nullptr);
    ~TKeyboardLayoutWatcher() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void LayoutChanged();

private:
    // Whether the native event tells of a change of the layout.
    bool IsLayoutChange(const QByteArray& eventType, void* message);
    // Notes the layout in use, which later notices are compared with.
    void RememberLayoutState();

    int FLastGroup = -1; // XKB group of the last state notice (X11)
};
