#include "common/oraclestandin.h"

#include <QCoreApplication>
#include <QLocale>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    // Discovery and CI run the binaries without a display.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Date texts, time stamps and collation depend on the locale: pin one.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    // unixODBC reads where its configuration is once per process: the Oracle stand-in is
    // registered before any test asks the driver manager anything.
    varnel::test::OracleStandin::available();
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
