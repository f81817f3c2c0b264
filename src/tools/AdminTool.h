// lodvar-admin: the site administrators' command-line tool. Secrets (passwords)
// are read from standard input only, never from arguments, so they stay out of
// shell history and process listings.
#pragma once

#include <QStringList>

// Exit codes of every subcommand.
enum AdminExit : int {
    AdminOk = 0,
    AdminFailed = 1,   // the operation ran and said no (no match, unreachable, ...)
    AdminBadUsage = 2, // bad arguments or unreadable input; nothing was written
};

// Runs one command line (AArguments without the program name) and returns its exit
// code. Output goes to standard output, errors to standard error.
int RunAdmin(const QStringList& AArguments);
