// Opening the main query into a slot, side by side with the sqlite3 shell running the same
// (rewritten) statement on the same file with its output sent to /dev/null.
//
//   bench_open [--sizes 10000,100000,1000000] [--runs 5] [--data DIR] [--sqlite3 PATH]
//
// Per size it prints both median times, their ratio, the time per record, and the snapshot's
// bytes per record next to the payload per record (UTF-8 bytes of the text values plus 8 bytes
// for each non-NULL number or date).

#include "db/connectionstring.h"
#include "db/datamodulebase.h"
#include "db/embedded/sqliteengine.h"
#include "db/localetext.h"
#include "demodb.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
const QString kTable = QStringLiteral("LOG_TABLE");

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double runShell(const std::string& shell, const std::string& file, const std::string& sql)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv = {const_cast<char*>(shell.c_str()), const_cast<char*>(file.c_str()),
                               const_cast<char*>(sql.c_str()), nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, shell.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start " + shell);
    int status = 0;
    waitpid(pid, &status, 0);
    const auto end = Clock::now();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(shell + " failed on " + file);
    return seconds(end - start);
}

struct Opened {
    double seconds;
    size_t snapshotBytes;
    size_t payloadBytes;
    uint32_t rows;
};

Opened openInSlot(const QString& file, const QString& statement, bool measureMemory)
{
    varnel::TDataModuleBase dataModule;
    varnel::StatementSlot& slot = dataModule.ADOQueryMain();
    slot.setText(statement);
    const auto start = Clock::now();
    dataModule.ADOConnectionBase().connect(
        varnel::buildConnectionString(QStringLiteral("bench"), QStringLiteral("bench"), file));
    slot.open();
    const auto end = Clock::now();

    Opened result{seconds(end - start), slot.rows().allocatedBytes(), 0, slot.rows().rowCount()};
    if (measureMemory) {
        const varnel::RowSet& rows = slot.rows();
        for (int col = 0; col < rows.columnCount(); ++col)
            for (uint32_t row = 0; row < rows.rowCount(); ++row)
                if (!rows.isNull(row, col))
                    result.payloadBytes += rows.column(col).type == varnel::ColumnType::Text
                                               ? rows.text(row, col).size()
                                               : 8;
    }
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<long long> sizes = {10000, 100000, 1000000};
    int runs = 5;
    QString data = QDir::temp().filePath(QStringLiteral("varnel-bench"));
    std::string shell = "sqlite3";
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--sizes")) {
            sizes.clear();
            for (const QString& s : args[i + 1].split(QLatin1Char(',')))
                sizes.push_back(s.toLongLong());
        } else if (args[i] == QLatin1String("--runs")) {
            runs = std::max(1, args[i + 1].toInt());
        } else if (args[i] == QLatin1String("--data")) {
            data = args[i + 1];
        } else if (args[i] == QLatin1String("--sqlite3")) {
            shell = args[i + 1].toStdString();
        } else {
            std::fprintf(
                stderr,
                "usage: bench_open [--sizes N,N,...] [--runs N] [--data DIR] [--sqlite3 PATH]\n");
            return 2;
        }
    }
    QDir().mkpath(data);

    const QString statement = QStringLiteral("Select * from ") + kTable +
                              QStringLiteral(" where 1=1 order by ddate, sid");
    std::printf("statement: %s\n", statement.toUtf8().constData());
    std::printf("%10s %12s %12s %7s %12s %12s %12s %12s\n", "records", "slot s", "sqlite3 s",
                "ratio", "slot us/rec", "snapshot B/r", "payload B/r", "limit B/r");

    for (long long size : sizes) {
        const QString file = QDir(data).filePath(QStringLiteral("bench-%1.sqlite").arg(size));
        if (!QFileInfo::exists(file)) {
            varnel::demo::Options options;
            options.path = file;
            options.records = size;
            varnel::demo::generate(options);
        }
        const QString shellSql =
            varnel::embedded::SqliteEngine(file, QStringLiteral("dd.MM.yyyy"), QLocale())
                .translate(statement);
        if (size == sizes.front())
            std::printf("sqlite3 runs: %s\n", shellSql.toUtf8().constData());

        // One untimed round of each warms the page cache for both.
        openInSlot(file, statement, false);
        runShell(shell, file.toStdString(), shellSql.toStdString());
        // Alternate who goes first, so that neither always meets a cache the other warmed.
        std::vector<double> ours, theirs;
        for (int r = 0; r < runs; ++r) {
            if (r % 2 == 0) {
                ours.push_back(openInSlot(file, statement, false).seconds);
                theirs.push_back(runShell(shell, file.toStdString(), shellSql.toStdString()));
            } else {
                theirs.push_back(runShell(shell, file.toStdString(), shellSql.toStdString()));
                ours.push_back(openInSlot(file, statement, false).seconds);
            }
        }
        const Opened memory = openInSlot(file, statement, true);
        const double slotTime = median(ours), shellTime = median(theirs);
        const double records = double(std::max<uint32_t>(memory.rows, 1));
        const double snapshot = double(memory.snapshotBytes) / records;
        const double payload = double(memory.payloadBytes) / records;
        std::printf("%10lld %12.4f %12.4f %7.3f %12.3f %12.1f %12.1f %12.1f\n", size, slotTime,
                    shellTime, slotTime / shellTime, slotTime * 1e6 / double(size), snapshot,
                    payload, 1.2 * payload + 48);
        std::fflush(stdout);
    }
    std::printf("targets: ratio <= 1.15 at 1,000,000 records; snapshot <= 1.2 x payload + 48 B per "
                "record\n");
    return 0;
}
