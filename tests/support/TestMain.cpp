// Test entry shared by every suite: results must not depend on the machine's
// locale, and Qt classes expect an application object (a QApplication for suites of
// widgets).
#ifdef LODVAR_TEST_WIDGETS
#include <QApplication>
using TTestApplication = QApplication;
#else
#include <QCoreApplication>
using TTestApplication = QCoreApplication;
#endif
#include <QLocale>
#include <clocale>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(QLocale::c());
    TTestApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
