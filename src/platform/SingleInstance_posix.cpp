#include "platform/SingleInstance.h"

#include "platform/Exceptions.h"
#include "platform/OsServices.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

[[noreturn]] void RaiseOSError(const QString& action, int error) {
    throw EOSError(action + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)),
                   error);
}

QString LockFolder() {
    // Relative values of XDG_RUNTIME_DIR are invalid and to be ignored.
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (runtime.startsWith(QLatin1Char('/')))
        return runtime;
    return QDir::tempPath();
}

} // namespace

QString SingleInstanceLockPath(const QString& AName) {
    // The uid keeps two users who share the temporary folder apart even when their
    // names cannot be read.
    return LockFolder() + QLatin1Char('/') + AName + QLatin1Char('-') + Os::UserName() +
           QLatin1Char('-') + QString::number(::getuid()) + QStringLiteral(".lock");
}

TSingleInstance::TSingleInstance(const QString& AName) {
    const QString path = SingleInstanceLockPath(AName);
    // No links followed: in a shared temporary folder the name may be planted by others.
    int fd = -1;
    do {
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                    0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        RaiseOSError(QStringLiteral("Cannot open the lock file ") + path, errno);
    FHandle = fd;
    int rc = 0;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0)
        return;
    const int error = errno;
    Release();
    if (error == EWOULDBLOCK) {
        FAlreadyRunning = true;
        return;
    }
    RaiseOSError(QStringLiteral("Cannot lock the file ") + path, error);
}

void TSingleInstance::Release() noexcept {
    // Closing the descriptor drops the lock; the file stays for the next start.
    if (FHandle != NoHandle)
        ::close(static_cast<int>(std::exchange(FHandle, NoHandle)));
}
