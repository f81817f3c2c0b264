// Named parameters of a statement: ":name" is rewritten to the positional "$n" that the
// server understands. A colon inside a quoted string or identifier, a comment, a dollar-
// quoted body or a "::" cast is left alone. The same name (case-insensitive) used twice
// takes the same position. A parameter right after a name character is set apart by a
// blank, so that "$n" stays a token of its own.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct TParsedSql {
    QByteArray Text;   // the statement for the server, UTF-8, with $1..$n
    QStringList Names; // Names[i] is sent as $(i + 1); spelled as first written
};

TParsedSql ParseNamedParams(const QString& sql);
