// lodvar-admin fix: the fix estimation of the program for analysts and scripts.
// Bearings come as CSV lines on standard input; the estimate, or the reason there is
// none, goes to standard output as one JSON object.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QTextStream>

// The first line of "fix --help", the rest of it, and the options that take a value.
QString FixUsage();
QString FixDetails();
QStringList FixValueOptions();

// Runs the subcommand with its parsed options ("sigma", "confidence") and returns its
// exit code: AdminOk with a fix, AdminFailed without one, AdminBadUsage for a bad option
// or input line (the message, with the usage line, goes to AErr).
int RunFixCommand(const QHash<QString, QString>& AOptions, QTextStream& AOut, QTextStream& AErr);
