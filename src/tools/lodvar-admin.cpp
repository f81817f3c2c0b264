#include "tools/AdminTool.h"

#include <QCoreApplication>
#include <clocale>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C"); // numbers are read and printed with a decimal point
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return RunAdmin(arguments);
}
