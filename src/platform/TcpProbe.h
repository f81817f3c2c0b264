// Reachability probe (does anything accept TCP connections at host:port?) and the
// bounded wait on a connected socket.
#pragma once

#include <QString>

// Connection attempts that neither succeed nor fail by then are abandoned, so a
// host that drops packets cannot freeze the caller for the system's SYN retries.
inline constexpr int TcpProbeTimeoutMs = 5000;

// Opens a TCP connection to AServer:APort and closes it at once; nothing is sent
// or read. True when a connection was established to any address the name resolves
// to. An empty host, a port outside 1..65535, a name that does not resolve, a refused
// or timed-out attempt all give false.
bool ProbeTcpPort(const QString& AServer, int APort, int ATimeoutMs = TcpProbeTimeoutMs);

// Waits until the socket (a descriptor; on Windows the SOCKET, as libpq's PQsocket gives
// it) has data or an error to report, or, with AWrite, can also take data; at most
// ATimeoutMs milliseconds. False when the time ran out first.
bool WaitForSocket(int ASocket, bool AWrite, int ATimeoutMs);
