#include "platform/TcpProbe.h"

// winsock2.h before windows.h (pulled in by ws2tcpip.h), or the old winsock clashes.
#include <winsock2.h>

#include <chrono>
#include <memory>
#include <ws2tcpip.h>

namespace {

// Winsock must be started in every process that uses it; one reference per probe.
class TWinsock {
public:
    TWinsock() {
        WSADATA data;
        FStarted = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~TWinsock() {
        if (FStarted)
            ::WSACleanup();
    }
    TWinsock(const TWinsock&) = delete;
    TWinsock& operator=(const TWinsock&) = delete;

    bool Started() const noexcept { return FStarted; }

private:
    bool FStarted = false;
};

struct AddrInfoDeleter {
    void operator()(ADDRINFOW* p) const noexcept { ::FreeAddrInfoW(p); }
};
using AddrInfoPtr = std::unique_ptr<ADDRINFOW, AddrInfoDeleter>;

class Socket {
public:
    explicit Socket(SOCKET s) noexcept : FSocket(s) {}
    ~Socket() {
        if (FSocket != INVALID_SOCKET)
            ::closesocket(FSocket);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    SOCKET Handle() const noexcept { return FSocket; }

private:
    SOCKET FSocket;
};

bool ConnectWithin(const ADDRINFOW& address, std::chrono::steady_clock::time_point deadline) {
    Socket socket(::socket(address.ai_family, address.ai_socktype, address.ai_protocol));
    if (socket.Handle() == INVALID_SOCKET)
        return false;
    u_long nonBlocking = 1;
    if (::ioctlsocket(socket.Handle(), FIONBIO, &nonBlocking) != 0)
        return false;
    if (::connect(socket.Handle(), address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0)
        return true;
    if (::WSAGetLastError() != WSAEWOULDBLOCK)
        return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return false;
    WSAPOLLFD p{socket.Handle(), POLLWRNORM, 0};
    if (::WSAPoll(&p, 1, static_cast<INT>(left.count())) <= 0)
        return false;
    int error = 0;
    int length = sizeof error;
    return ::getsockopt(socket.Handle(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                        &length) == 0 &&
           error == 0;
}

} // namespace

bool ProbeTcpPort(const QString& AServer, int APort, int ATimeoutMs) {
    if (AServer.isEmpty() || APort < 1 || APort > 65535)
        return false;
    const TWinsock winsock;
    if (!winsock.Started())
        return false;
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    const QString port = QString::number(APort);
    ADDRINFOW* found = nullptr;
    if (::GetAddrInfoW(reinterpret_cast<const wchar_t*>(AServer.utf16()),
                       reinterpret_cast<const wchar_t*>(port.utf16()), &hints, &found) != 0)
        return false;
    const AddrInfoPtr addresses(found);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ATimeoutMs);
    for (const ADDRINFOW* a = addresses.get(); a; a = a->ai_next) {
        if (ConnectWithin(*a, deadline))
            return true;
    }
    return false;
}

bool WaitForSocket(int ASocket, bool AWrite, int ATimeoutMs) {
    WSAPOLLFD entry{};
    entry.fd = static_cast<SOCKET>(ASocket);
    entry.events = static_cast<SHORT>(POLLRDNORM | (AWrite ? POLLWRNORM : 0));
    return ::WSAPoll(&entry, 1, ATimeoutMs) != 0;
}
