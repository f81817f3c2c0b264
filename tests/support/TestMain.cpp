// Test entry shared by every suite: results must not depend on the machine's
// locale, and Qt classes expect an application object.
#include <QCoreApplication>
#include <QLocale>
#include <clocale>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
