#include "data/PgHandles.h"

QString PgConnError(const PGconn* conn) {
    if (conn == nullptr)
        return QStringLiteral("out of memory");
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}

QString PgResultError(const PGresult* result, const PGconn* conn) {
    if (result != nullptr) {
        QString text = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
        if (!text.isEmpty())
            return text;
    }
    return PgConnError(conn);
}
