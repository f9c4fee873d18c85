#pragma once

#include "common/testsupport.h"

#include <QString>

#include <gtest/gtest.h>

namespace varnel::test {

// The Oracle of the tests: the ODBC driver of tests/oraclestandin, registered with the driver
// manager for this process (beside the drivers the machine has) as «Oracle in Varnel
// stand-in». A database name that the program sends to Oracle opens a file of the stand-in's
// folder. The driver manager reads its configuration once per process, so every test of a
// process shares the one folder; each test puts its databases there under names of its own.
class OracleStandin {
public:
    static constexpr const char* kDriver = "Oracle in Varnel stand-in";

    // Registers the driver the first time; false (and the reason in `why`) when it cannot.
    static bool available(QString* why = nullptr);
    // Copies the database file `sqlitePath` into the stand-in's folder as the Oracle database
    // `name`, replacing one of that name; returns the path of the copy.
    static QString place(const QString& sqlitePath, const QString& name);
    // The stand-in's folder.
    static QString folder();
};

// A test of the Oracle path, skipped (saying why) where the stand-in cannot be registered.
class OracleStandinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString why;
        if (!OracleStandin::available(&why))
            GTEST_SKIP() << why.toStdString();
    }
    TempFolder folder;
};

} // namespace varnel::test
