#include "platform/KeyboardLayout.h"

#include <windows.h>

namespace Os {

QString SystemKeyboardLayoutName() {
    wchar_t name[KL_NAMELENGTH] = {};
    if (!::GetKeyboardLayoutNameW(name))
        return {};
    return QString::fromWCharArray(name);
}

} // namespace Os

bool TKeyboardLayoutWatcher::IsLayoutChange(const QByteArray& eventType, void* message) {
    return eventType == "windows_generic_MSG" &&
           static_cast<const MSG*>(message)->message == WM_INPUTLANGCHANGE;
}

void TKeyboardLayoutWatcher::RememberLayoutState() {
    // WM_INPUTLANGCHANGE is sent for changes only: nothing to compare with.
}
