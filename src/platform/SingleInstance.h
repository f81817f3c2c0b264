// One running instance per user session: a named guard that the first process of
// the session owns for its whole life. Windows: a named mutex in the session's local
// namespace. POSIX: an exclusive flock on a lock file named after the guard and the
// user, in $XDG_RUNTIME_DIR or else the temporary folder; the system drops the lock
// when the process ends, however it ends.
#pragma once

#include <QString>
#include <cstdint>
#include <utility>

// Name of the guard of the program.
inline const QString SingleInstanceName = QStringLiteral("KavexLodvar v.0.1");

class TSingleInstance {
public:
    // Creates the guard. Raises EOSError (the system's error code and message) when the
    // system cannot create it; another instance holding it is not an error.
    explicit TSingleInstance(const QString& AName);
    ~TSingleInstance() { Release(); }

    TSingleInstance(TSingleInstance&& other) noexcept
        : FHandle(std::exchange(other.FHandle, NoHandle)), FAlreadyRunning(other.FAlreadyRunning) {}
    TSingleInstance& operator=(TSingleInstance&& other) noexcept {
        if (this != &other) {
            Release();
            FHandle = std::exchange(other.FHandle, NoHandle);
            FAlreadyRunning = other.FAlreadyRunning;
        }
        return *this;
    }
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // True when another process of this session held the guard already; this process
    // then owns nothing and should end.
    bool AlreadyRunning() const noexcept { return FAlreadyRunning; }

private:
#ifdef _WIN32
    static constexpr std::intptr_t NoHandle = 0;
#else
    static constexpr std::intptr_t NoHandle = -1;
#endif
    void Release() noexcept;

    std::intptr_t FHandle = NoHandle; // file descriptor (POSIX) or mutex handle (Windows)
    bool FAlreadyRunning = false;
};

#ifndef _WIN32
// The lock file of the guard AName for the user the process runs as.
QString SingleInstanceLockPath(const QString& AName);
#endif
