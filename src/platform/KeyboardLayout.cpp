#include "platform/KeyboardLayout.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <utility>

namespace {
Os::KeyboardLayoutSource& CurrentSource() {
    static Os::KeyboardLayoutSource source;
    return source;
}
} // namespace

namespace Os {

QString ActiveKeyboardLayoutName() {
    if (const KeyboardLayoutSource& source = CurrentSource())
        return source();
    return SystemKeyboardLayoutName();
}

KeyboardLayoutSource InstallKeyboardLayoutSource(KeyboardLayoutSource source) {
    return std::exchange(CurrentSource(), std::move(source));
}

} // namespace Os

TKeyboardLayoutWatcher::TKeyboardLayoutWatcher(QObject* parent) : QObject(parent) {
    connect(QGuiApplication::inputMethod(), &QInputMethod::localeChanged, this,
            &TKeyboardLayoutWatcher::LayoutChanged);
    RememberLayoutState();
    QCoreApplication::instance()->installNativeEventFilter(this);
}

TKeyboardLayoutWatcher::~TKeyboardLayoutWatcher() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
}

bool TKeyboardLayoutWatcher::nativeEventFilter(const QByteArray& eventType, void* message,
                                               qintptr*) {
    if (IsLayoutChange(eventType, message))
        emit LayoutChanged();
    return false; // others may want the event too
}
