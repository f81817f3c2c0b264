#include "platform/OsServices.h"

// windows.h first: shlobj.h needs its declarations.
#include <windows.h>

#include <memory>
#include <shlobj.h>
#include <vector>

namespace {

constexpr DWORD ComputerNameBufferLength = 16; // 15 characters and the terminator
constexpr DWORD UserNameBufferLength = 255;

const wchar_t* Wide(const QString& text) {
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

QString FromWide(const wchar_t* text, qsizetype length) {
    return QString::fromWCharArray(text, length);
}

struct THandleCloser {
    void operator()(HANDLE handle) const noexcept { ::CloseHandle(handle); }
};
using THandle = std::unique_ptr<void, THandleCloser>;

// Attributes of what the path names, reparse points (links) followed.
std::optional<DWORD> AttributesFollowingLinks(const QString& path) {
    if (path.isEmpty()) {
        return std::nullopt;
    }
    const DWORD attributes = ::GetFileAttributesW(Wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return attributes;
    }
    HANDLE raw =
        ::CreateFileW(Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (raw == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    const THandle target(raw);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(target.get(), &info)) {
        return std::nullopt;
    }
    return info.dwFileAttributes;
}

struct TCoTaskMemFree {
    void operator()(wchar_t* text) const noexcept { ::CoTaskMemFree(text); }
};

QString KnownLocalAppDataFolder() {
    PWSTR raw = nullptr;
    const HRESULT result = ::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &raw);
    const std::unique_ptr<wchar_t, TCoTaskMemFree> path(raw);
    if (FAILED(result) || !path) {
        return QString();
    }
    return QString::fromWCharArray(path.get());
}

std::optional<QString> Environment(const wchar_t* name) {
    const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<wchar_t> buffer(size);
    const DWORD length = ::GetEnvironmentVariableW(name, buffer.data(), size);
    if (length == 0 || length >= size) {
        return std::nullopt;
    }
    return FromWide(buffer.data(), length);
}

} // namespace

namespace Os {

QChar PathDelimiter() {
    return QLatin1Char('\\');
}

QString ExpandEnvironment(const QString& text) {
    // The count asked for includes the terminator; the variables may change between
    // the two calls, so ask again while the buffer is too small.
    DWORD size = ::ExpandEnvironmentStringsW(Wide(text), nullptr, 0);
    while (size != 0) {
        std::vector<wchar_t> buffer(size);
        const DWORD needed = ::ExpandEnvironmentStringsW(Wide(text), buffer.data(), size);
        if (needed == 0) {
            break;
        }
        if (needed <= size) {
            return FromWide(buffer.data(), needed - 1);
        }
        size = needed;
    }
    return QString();
}

bool DirectoryExists(const QString& path) {
    const std::optional<DWORD> attributes = AttributesFollowingLinks(path);
    return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const QString& path) {
    const std::optional<DWORD> attributes = AttributesFollowingLinks(path);
    return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool CreateDir(const QString& path) {
    return !path.isEmpty() && ::CreateDirectoryW(Wide(path), nullptr) != 0;
}

bool MoveReplacing(const QString& from, const QString& to) {
    return !from.isEmpty() && !to.isEmpty() &&
           ::MoveFileExW(Wide(from), Wide(to),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

TMoveOutcome MoveNoReplace(const QString& from, const QString& to) {
    if (from.isEmpty() || to.isEmpty()) {
        return TMoveOutcome::Failed;
    }
    // Without MOVEFILE_REPLACE_EXISTING the move fails on a taken name.
    if (::MoveFileExW(Wide(from), Wide(to), MOVEFILE_WRITE_THROUGH) != 0) {
        return TMoveOutcome::Moved;
    }
    const DWORD error = ::GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? TMoveOutcome::NameTaken
                                                                       : TMoveOutcome::Failed;
}

bool SetCurrentDir(const QString& path) {
    return !path.isEmpty() && ::SetCurrentDirectoryW(Wide(path)) != 0;
}

std::optional<QString> ComputerName() {
    wchar_t buffer[ComputerNameBufferLength] = {};
    DWORD length = ComputerNameBufferLength;
    if (!::GetComputerNameW(buffer, &length)) {
        return std::nullopt;
    }
    return FromWide(buffer, length);
}

QString UserName() {
    wchar_t buffer[UserNameBufferLength] = {};
    DWORD count = UserNameBufferLength; // on success: characters including the terminator
    if (!::GetUserNameW(buffer, &count) || count == 0) {
        return QStringLiteral("Unknown");
    }
    return FromWide(buffer, count - 1);
}

QString LocalAppDataFolder() {
    if (std::optional<QString> folder = Environment(L"LOCALAPPDATA");
        folder && !folder->isEmpty()) {
        return *folder;
    }
    return KnownLocalAppDataFolder();
}

void ExportLocalAppData() {
    if (Environment(L"LOCALAPPDATA")) {
        return;
    }
    const QString folder = KnownLocalAppDataFolder();
    if (!folder.isEmpty()) {
        ::SetEnvironmentVariableW(L"LOCALAPPDATA", Wide(folder));
    }
}

} // namespace Os
