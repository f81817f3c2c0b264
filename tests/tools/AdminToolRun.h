// Runs the built lodvar-admin in a child process, as the suites of its subcommands do.
// LODVAR_ADMIN_PATH names the program (set by the suites' CMake list).
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>

inline QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

struct TRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// prepare may set the process up further before it starts (its standard input, a
// modifier that runs in the child).
inline TRun RunAdminTool(const QStringList& args, const QByteArray& input = {},
                         const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                         const std::function<void(QProcess&)>& prepare = {}) {
    QProcess process;
    process.setProcessEnvironment(env);
    if (prepare)
        prepare(process);
    process.start(QStringLiteral(LODVAR_ADMIN_PATH), args);
    EXPECT_TRUE(process.waitForStarted());
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}
