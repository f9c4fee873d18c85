#include "common/oraclestandin.h"

#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

// The main of the window tests: real widgets need a QApplication.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    // unixODBC reads where its configuration is once per process: the Oracle stand-in is
    // registered before any test asks the driver manager anything.
    varnel::test::OracleStandin::available();
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
