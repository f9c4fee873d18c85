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
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
