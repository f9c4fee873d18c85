#include "common/oraclestandin.h"

#include <QCoreApplication>
#include <QLocale>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Discovery and CI run the binaries without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Date texts, time stamps and collation depend on the locale: pin one.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    // unixODBC reads where its configuration is once per process: the Oracle stand-in is
    // registered before any test asks the driver manager anything.
    varnel::test::OracleStandin::available();
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
