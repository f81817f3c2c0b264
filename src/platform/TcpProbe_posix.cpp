#include "platform/TcpProbe.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct AddrInfoDeleter {
    void operator()(addrinfo* p) const noexcept { freeaddrinfo(p); }
};
using AddrInfoPtr = std::unique_ptr<addrinfo, AddrInfoDeleter>;

// Owns a socket descriptor; closes it on every path.
class Socket {
public:
    explicit Socket(int fd) noexcept : FFd(fd) {}
    ~Socket() {
        if (FFd >= 0)
            ::close(FFd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    int Fd() const noexcept { return FFd; }

private:
    int FFd;
};

bool ConnectWithin(const addrinfo& address, std::chrono::steady_clock::time_point deadline) {
    Socket socket(::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                           address.ai_protocol));
    if (socket.Fd() < 0)
        return false;
    if (::connect(socket.Fd(), address.ai_addr, address.ai_addrlen) == 0)
        return true;
    if (errno != EINPROGRESS)
        return false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{socket.Fd(), POLLOUT, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        int error = 0;
        socklen_t length = sizeof error;
        return ::getsockopt(socket.Fd(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
}

} // namespace

bool ProbeTcpPort(const QString& AServer, int APort, int ATimeoutMs) {
    if (AServer.isEmpty() || APort < 1 || APort > 65535)
        return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(AServer.toUtf8().constData(), QByteArray::number(APort).constData(), &hints,
                      &found) != 0)
        return false;
    const AddrInfoPtr addresses(found);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
    for (const addrinfo* a = addresses.get(); a; a = a->ai_next) {
        if (ConnectWithin(*a, deadline))
            return true;
    }
    return false;
}

bool WaitForSocket(int ASocket, bool AWrite, int ATimeoutMs) {
    pollfd entry{ASocket, static_cast<short>(POLLIN | (AWrite ? POLLOUT : 0)), 0};
    // An interrupted wait counts as a wake-up: the caller looks and waits again.
    return ::poll(&entry, 1, ATimeoutMs) != 0;
}
