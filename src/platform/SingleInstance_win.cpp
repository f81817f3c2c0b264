#include "platform/SingleInstance.h"

#include "platform/Exceptions.h"

#include <windows.h>

namespace {

QString SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    QString text = length != 0 ? QString::fromWCharArray(buffer, length).trimmed() : QString();
    ::LocalFree(buffer);
    return QStringLiteral("System Error.  Code: %1.\r\n%2").arg(code).arg(text);
}

} // namespace

TSingleInstance::TSingleInstance(const QString& AName) {
    // Default security, initial ownership, no namespace prefix: the session's local
    // namespace, so instances of other sessions do not see each other.
    HANDLE mutex = ::CreateMutexW(nullptr, TRUE, reinterpret_cast<const wchar_t*>(AName.utf16()));
    const DWORD error = ::GetLastError();
    if (mutex == nullptr)
        throw EOSError(SystemMessage(error), static_cast<int>(error));
    FHandle = reinterpret_cast<std::intptr_t>(mutex);
    FAlreadyRunning = error == ERROR_ALREADY_EXISTS;
}

void TSingleInstance::Release() noexcept {
    if (FHandle != NoHandle)
        ::CloseHandle(reinterpret_cast<HANDLE>(std::exchange(FHandle, NoHandle)));
}
