#include "platform/OsServices.h"

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int ComputerNameLength = 15;
constexpr int MaxUserNameLength = 254;

QByteArray NativePath(const QString& path) {
    return QFile::encodeName(path);
}

bool StatFollowingLinks(const QString& path, struct stat& info) {
    return !path.isEmpty() && ::stat(NativePath(path).constData(), &info) == 0;
}

std::optional<QString> Environment(const QString& name) {
    const QByteArray key = name.toLocal8Bit();
    if (key.isEmpty() || key.contains('=') || key.contains('\0')) {
        return std::nullopt;
    }
    const char* value = std::getenv(key.constData());
    if (value == nullptr) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(value);
}

std::optional<QString> NonEmptyEnvironment(const char* name) {
    std::optional<QString> value = Environment(QString::fromLatin1(name));
    if (value && value->isEmpty()) {
        return std::nullopt;
    }
    return value;
}

// The user database entry of the process's user, read with a buffer of its own.
template <typename Use>
auto WithPasswordEntry(Use use) -> decltype(use(std::declval<const passwd&>())) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
        buffer.resize(buffer.size() * 2);
    }
    if (found == nullptr) {
        return {};
    }
    return use(*found);
}

QString HomeFolder() {
    if (std::optional<QString> home = NonEmptyEnvironment("HOME")) {
        return *home;
    }
    return WithPasswordEntry([](const passwd& entry) -> QString {
        return entry.pw_dir != nullptr ? QFile::decodeName(entry.pw_dir) : QString();
    });
}

} // namespace

namespace Os {

QChar PathDelimiter() {
    return QLatin1Char('/');
}

QString ExpandEnvironment(const QString& text) {
    QString result;
    result.reserve(text.size());
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype open = text.indexOf(QLatin1Char('%'), pos);
        const qsizetype close = open < 0 ? -1 : text.indexOf(QLatin1Char('%'), open + 1);
        if (close < 0) {
            result += QStringView(text).mid(pos);
            break;
        }
        result += QStringView(text).mid(pos, open - pos);
        const QString name = text.mid(open + 1, close - open - 1);
        if (const std::optional<QString> value = Environment(name)) {
            result += *value;
        } else {
            result += QStringView(text).mid(open, close - open + 1);
        }
        pos = close + 1;
    }
    return result;
}

bool DirectoryExists(const QString& path) {
    struct stat info {};
    return StatFollowingLinks(path, info) && S_ISDIR(info.st_mode);
}

bool FileExists(const QString& path) {
    struct stat info {};
    return StatFollowingLinks(path, info) && !S_ISDIR(info.st_mode);
}

bool CreateDir(const QString& path) {
    return !path.isEmpty() && ::mkdir(NativePath(path).constData(), 0777) == 0;
}

bool MoveReplacing(const QString& from, const QString& to) {
    return !from.isEmpty() && !to.isEmpty() &&
           std::rename(NativePath(from).constData(), NativePath(to).constData()) == 0;
}

TMoveOutcome MoveNoReplace(const QString& from, const QString& to) {
    if (from.isEmpty() || to.isEmpty()) {
        return TMoveOutcome::Failed;
    }
    const QByteArray source = NativePath(from);
    const QByteArray target = NativePath(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0) {
        return TMoveOutcome::Moved;
    }
    if (errno == EEXIST) {
        return TMoveOutcome::NameTaken;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return TMoveOutcome::Failed;
    }
    // A file system without the no-replace rename: a new link fails on a taken name.
    if (::link(source.constData(), target.constData()) != 0) {
        return errno == EEXIST ? TMoveOutcome::NameTaken : TMoveOutcome::Failed;
    }
    ::unlink(source.constData());
    return TMoveOutcome::Moved;
}

bool SetCurrentDir(const QString& path) {
    return !path.isEmpty() && ::chdir(NativePath(path).constData()) == 0;
}

std::optional<QString> ComputerName() {
    char buffer[HOST_NAME_MAX + 1] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) {
        return std::nullopt;
    }
    QString name = QString::fromLocal8Bit(buffer);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        name.truncate(dot);
    }
    if (name.isEmpty()) {
        return std::nullopt;
    }
    name.truncate(ComputerNameLength);
    return name;
}

QString UserName() {
    QString name = WithPasswordEntry([](const passwd& entry) -> QString {
        return entry.pw_name != nullptr ? QString::fromLocal8Bit(entry.pw_name) : QString();
    });
    if (name.isEmpty()) {
        name = NonEmptyEnvironment("USER").value_or(QString());
    }
    if (name.isEmpty() || name.size() > MaxUserNameLength) {
        return QStringLiteral("Unknown");
    }
    return name;
}

QString LocalAppDataFolder() {
    if (std::optional<QString> folder = NonEmptyEnvironment("LOCALAPPDATA")) {
        return *folder;
    }
    // Relative values of XDG_DATA_HOME are invalid and to be ignored.
    if (std::optional<QString> folder = NonEmptyEnvironment("XDG_DATA_HOME");
        folder && folder->startsWith(QLatin1Char('/'))) {
        return *folder;
    }
    const QString home = HomeFolder();
    if (home.isEmpty()) {
        return QString();
    }
    return home + QStringLiteral("/.local/share");
}

void ExportLocalAppData() {
    if (NonEmptyEnvironment("LOCALAPPDATA")) {
        return;
    }
    const QString folder = LocalAppDataFolder();
    if (!folder.isEmpty()) {
        ::setenv("LOCALAPPDATA", NativePath(folder).constData(), 1);
    }
}

} // namespace Os
