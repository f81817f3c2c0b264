// Owning handles of libpq objects: a connection is finished and a result cleared on
// every path, exactly once. Both are move-only.
#pragma once

#include <QString>
#include <libpq-fe.h>
#include <memory>

struct TPgConnCloser {
    void operator()(PGconn* conn) const noexcept { PQfinish(conn); }
};
using TPgConn = std::unique_ptr<PGconn, TPgConnCloser>;

struct TPgResultCloser {
    void operator()(PGresult* result) const noexcept { PQclear(result); }
};
using TPgResult = std::unique_ptr<PGresult, TPgResultCloser>;

// The connection's last error message without libpq's trailing line break.
QString PgConnError(const PGconn* conn);

// The error message of a failed result (the server's message, trimmed); the connection's
// message when the result carries none (e.g. no result at all).
QString PgResultError(const PGresult* result, const PGconn* conn);
