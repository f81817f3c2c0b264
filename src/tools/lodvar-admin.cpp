#include "tools/AdminTool.h"

#include <QCoreApplication>
#include <clocale>
#include <csignal>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C"); // numbers are read and printed with a decimal point
#ifdef SIGXFSZ
    // Past a file-size limit a write then fails and the error path cleans up, instead
    // of the signal ending the process with its staging folder left behind.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return RunAdmin(arguments);
}
