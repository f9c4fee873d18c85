// The Debian package as a user gets it, unpacked by the package_build test into a throw-away
// root: the files it must hold, and the demo generator it carries making a log that the
// embedded engine opens. What the package depends on is check-depends.sh's part.

#include "base/localetext.h"
#include "browse/core/filterset.h"
#include "common/testsupport.h"
#include "db/connection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

using namespace varnel;
using varnel::test::TempFolder;

const QString kRoot = QStringLiteral(VARNEL_PACKAGE_ROOT);

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    QByteArray out, err;
};

Outcome runProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    Outcome result;
    result.finished =
        process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QByteArray gunzip(const QString& path)
{
    const Outcome unpacked = runProgram(QStringLiteral("gzip"), {QStringLiteral("-dc"), path});
    return unpacked.finished && unpacked.exitCode == 0 ? unpacked.out : QByteArray();
}

TEST(Package, HoldsTheProgramsTheirManPagesTheLicenceAndTheTriggerExample)
{
    ASSERT_TRUE(QFileInfo(kRoot).isDir()) << "the package_build test did not run";
    struct Entry {
        QString path;
        bool executable;
        QByteArray startsWith; // of the (unzipped) text; empty for a program
    };
    const Entry entries[] = {
        {"usr/bin/Varnel", true, {}},
        {"usr/bin/varnel-demo-db", true, {}},
        {"usr/share/man/man1/Varnel.1.gz", false, ".TH VARNEL 1"},
        {"usr/share/man/man1/varnel-demo-db.1.gz", false, ".TH VARNEL-DEMO-DB 1"},
        {"usr/share/doc/varnel/copyright", false,
         "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"},
        {"usr/share/doc/varnel/changelog.gz", false, "varnel ("},
        {"usr/share/doc/varnel/oracle-log-trigger.sql", false, {}},
        {"usr/share/applications/varnel.desktop", false, "[Desktop Entry]"},
        {"usr/share/icons/hicolor/scalable/apps/varnel.svg", false, {}},
    };
    for (const Entry& entry : entries) {
        SCOPED_TRACE(entry.path.toStdString());
        const QFileInfo info(QDir(kRoot).filePath(entry.path));
        ASSERT_TRUE(info.isFile());
        EXPECT_EQ(info.isExecutable(), entry.executable);
        EXPECT_GT(info.size(), 0);
        if (entry.startsWith.isEmpty())
            continue;
        QByteArray text;
        if (entry.path.endsWith(".gz")) {
            text = gunzip(info.filePath());
        } else {
            QFile file(info.filePath());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            text = file.readAll();
        }
        EXPECT_TRUE(text.startsWith(entry.startsWith)) << text.left(80).toStdString();
    }
    // The trigger example is the repository's, not a stale or empty copy.
    QFile shipped(QDir(kRoot).filePath("usr/share/doc/varnel/oracle-log-trigger.sql"));
    QFile source(QStringLiteral(VARNEL_SOURCE_DIR "/docs/oracle-log-trigger.sql"));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly) && source.open(QIODevice::ReadOnly));
    EXPECT_EQ(shipped.readAll(), source.readAll());
}

TEST(Package, DemoGeneratorMakesALogThatTheEmbeddedEngineOpens)
{
    const QString program = QDir(kRoot).filePath("usr/bin/varnel-demo-db");
    ASSERT_TRUE(QFileInfo(program).isExecutable()) << "the package_build test did not run";

    const Outcome help = runProgram(program, {QStringLiteral("--help")});
    EXPECT_TRUE(help.finished && help.exitCode == 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith("usage: varnel-demo-db PATH")) << help.out.toStdString();

    const TempFolder folder;
    const QString path = folder.path("varnel-demo.sqlite");
    const Outcome made =
        runProgram(program, {path, QStringLiteral("--records"), QStringLiteral("40")});
    ASSERT_TRUE(made.finished && made.exitCode == 0) << made.err.toStdString();
    // What the user types into the login dialog: the full path and the table.
    EXPECT_TRUE(made.out.contains("the database " +
                                  QFileInfo(path).absoluteFilePath().toLocal8Bit() +
                                  " and the log table LOG_TABLE"))
        << made.out.toStdString();

    // Opened as the login opens it, and read with the program's main query over a date filter
    // (the engine's date rewriting) and without one.
    Connection connection;
    connection.connect(varnel::test::localConnectionString(path));
    const LocaleText locale = LocaleText::current();
    EXPECT_EQ(
        connection.query("all", mainQueryText("LOG_TABLE", FilterValues{}, locale)).rowCount(),
        40u);
    FilterValues from2026;
    from2026.dateFrom = QDate(2026, 1, 1);
    const uint32_t later =
        connection.query("2026", mainQueryText("LOG_TABLE", from2026, locale)).rowCount();
    EXPECT_GT(later, 0u);
    EXPECT_LT(later, 40u);
}

} // namespace
