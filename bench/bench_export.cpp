// Exporting a generated log to a text file (all records, no period), side by side with the
// sqlite3 shell writing the same record lines to a file: the five columns joined by " - ", the
// date in the export's text (the Russian short date and long time, the time left out at
// midnight), and every line break of a value written as CR LF like the export buffer writes it.
//
//   bench_export [--records N] [--runs K] [--csv-only]
//
// Per size: the median times of K runs of each (ours: connect, query, record lines, file;
// the shell: start, query, file), their ratio, our time per record, whether the record lines
// are byte-identical once the shell's UTF-8 is encoded to Windows-1251, and the peak memory of
// one export (measured in a fresh process) next to the snapshot and the file.
//
// Then the grid's CSV export (browse/csvexport.h) of the same log, side by side with the
// shell's `.mode csv` writing the same five columns with a title line: ours connects, opens the
// grid's statement and writes the file as the grid's command does, on the connection's thread;
// beside it the file alone, from the open snapshot, which is what the user waits for after the
// click. --csv-only runs this part alone.

#include "base/ansicodepage.h"
#include "base/localetext.h"
#include "browse/core/csvexport.h"
#include "db/call.h"
#include "db/connection.h"
#include "db/connectionstring.h"
#include "db/dataset.h"
#include "db/logdatabase.h"
#include "demodb.h"
#include "maintain/core/logexport.h"
#include "maintain/core/memoexport.h"
#include "maintain/core/periodstatements.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
const QString kTable = QStringLiteral("LOG_TABLE");

// The record line in SQLite's words, with `changes` for the change text; a NULL date gives an
// empty text like any other NULL.
std::string shellSql(const std::string& changes)
{
    return "select ifnull(substr(ddate, 9, 2) || '.' || substr(ddate, 6, 2) || '.' || "
           "substr(ddate, 1, 4) || case when substr(ddate, 12) = '00:00:00' then '' "
           "else ' ' || substr(ddate, 12) end, '')"
           " || ' - ' || ifnull(stable, '') || ' - ' || ifnull(saction, '') || ' - ' || " +
           changes + " || ' - ' || ifnull(suser_info, '') from LOG_TABLE";
}
// The export's lines: every break of a change text written as CR LF.
const std::string kSameLines = shellSql("replace(replace(replace(ifnull(schanges, ''), "
                                        "char(13, 10), char(10)), char(13), char(10)), "
                                        "char(10), char(13, 10))");
// The breaks as stored, which costs the shell a quarter less: shown beside, not a target.
const std::string kPlainLines = shellSql("ifnull(schanges, '')");

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs a program with its output in `output` (or inherited when empty); its time in seconds.
double run(const std::vector<std::string>& args, const std::string& output)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!output.empty())
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + args[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const auto end = Clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(args[0] + " failed");
    return seconds(end - start);
}

long long statusKilobytes(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').front().toLongLong();
    return 0;
}

struct Exported {
    double seconds;
    qint64 fileBytes;
    size_t snapshotBytes;
};

// One export as the page runs it.
Exported exportOnce(const QString& databaseFile, const QString& output)
{
    varnel::LogDatabase database;
    varnel::MemoExport memo;
    varnel::ExportHooks hooks;
    // As the page runs it: the lines on the connection's thread, counted and cancellable.
    hooks.work = [&](const std::function<void(varnel::Call&)>& lines) {
        database.connection().work(QStringLiteral("Выгрузка логов"), lines);
    };

    const auto start = Clock::now();
    database.connection().connect(varnel::buildConnectionString(
        QStringLiteral("bench"), QStringLiteral("bench"), databaseFile));
    const varnel::LocaleText locale = varnel::LocaleText::current();
    varnel::exportLog(database.exportDataset(),
                      varnel::exportStatement(kTable, std::nullopt, locale), memo, locale, hooks);
    memo.saveToFile(output);
    const auto end = Clock::now();
    return {seconds(end - start), memo.byteCount(),
            database.exportDataset().rows().allocatedBytes()};
}

// The child that measures one export's memory: it prints the snapshot's bytes, the file's
// bytes and the growth of the resident set from before the export to its peak.
int measureMemory(const QString& database, const QString& output)
{
    const long long before = statusKilobytes("VmRSS:");
    const Exported e = exportOnce(database, output);
    const long long peak = statusKilobytes("VmHWM:");
    std::printf("%zu %lld %lld\n", e.snapshotBytes, static_cast<long long>(e.fileBytes),
                (peak - before) * 1024);
    return 0;
}

// The record lines of an export file: from the line after "-- Begin - " to "-- End - ".
QByteArray recordLines(const QByteArray& file)
{
    const qsizetype begin = file.indexOf("\r\n", file.indexOf("-- Begin - ")) + 2;
    return file.mid(begin, file.lastIndexOf("-- End - ") - begin);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    return file.readAll();
}

struct Row {
    long long records;
    double ours, shell, plain;
    bool identical;
    double snapshot, file, peak; // bytes
};

// The demo log of `size` records in `folder`, generated on first use.
QString demoLog(const QTemporaryDir& folder, long long size)
{
    varnel::demo::Options log;
    log.path = folder.filePath(QStringLiteral("log-%1.sqlite").arg(size));
    log.records = size;
    if (!QFile::exists(log.path))
        varnel::demo::generate(log);
    return log.path;
}

// The shell's side: the columns the grid shows, in its order, with their names as titles.
const std::string kCsvSql = "select ddate, stable, saction, schanges, suser_info from LOG_TABLE";

struct CsvTimes {
    double whole; // connect, open, file
    double file;  // the file from the open snapshot
    qint64 bytes;
};

// One CSV export as the grid's command runs it, after the page's opening of the grid's rows.
CsvTimes csvOnce(const QString& databaseFile, const QString& output)
{
    varnel::LogDatabase database;
    const auto start = Clock::now();
    varnel::Connection& connection = database.connection();
    connection.connect(varnel::buildConnectionString(QStringLiteral("bench"),
                                                     QStringLiteral("bench"), databaseFile));
    varnel::Dataset& dataset = database.mainDataset();
    dataset.setText(QStringLiteral("Select * from ") + kTable);
    dataset.open();
    dataset.field(QStringLiteral("SID")).setVisible(false);
    std::vector<int> columns;
    std::vector<QString> labels;
    for (const char* name : {"DDATE", "STABLE", "SACTION", "SCHANGES", "SUSER_INFO"}) {
        columns.push_back(dataset.field(QString::fromLatin1(name)).index());
        labels.push_back(QString::fromLatin1(name).toLower());
    }
    const auto opened = Clock::now();
    connection.work(QStringLiteral("Экспорт в CSV"), [&](varnel::Call& call) {
        varnel::saveCsv(output, dataset, columns, labels,
                        [&call](int64_t records) { call.setCount(records); });
    });
    const auto end = Clock::now();
    return {seconds(end - start), seconds(end - opened), QFileInfo(output).size()};
}

void csvExport(const std::vector<long long>& sizes, int runs, const QTemporaryDir& outputs)
{
    const QString ours = outputs.filePath(QStringLiteral("ours.csv"));
    const QString theirs = outputs.filePath(QStringLiteral("shell.csv"));
    std::printf("\nCSV export of the grid's rows, median of %d runs; sqlite3 runs: .headers on, "
                ".mode csv, .once FILE, %s\n",
                runs, kCsvSql.c_str());
    std::printf("%10s %9s %9s %10s %7s %8s %9s %9s\n", "records", "csv s", "file s", "sqlite3 s",
                "ratio", "us/rec", "file MB", "shell MB");
    double atRatio = 0;
    long long atRecords = 0;
    for (long long size : sizes) {
        const QString database = demoLog(outputs, size);
        const auto shell = [&] {
            return run({"sqlite3", database.toStdString(), ".headers on", ".mode csv",
                        ".once " + theirs.toStdString(), kCsvSql},
                       {});
        };
        // Warmed once each, then taking turns at going first, as above.
        csvOnce(database, ours);
        shell();
        std::vector<double> whole, file, shellTimes;
        qint64 bytes = 0;
        for (int r = 0; r < runs; ++r) {
            const auto oursOnce = [&] {
                const CsvTimes t = csvOnce(database, ours);
                whole.push_back(t.whole);
                file.push_back(t.file);
                bytes = t.bytes;
            };
            if (r % 2 == 0)
                oursOnce();
            shellTimes.push_back(shell());
            if (r % 2 == 1)
                oursOnce();
        }
        const double ratio = median(whole) / median(shellTimes);
        const double mb = 1 << 20;
        std::printf("%10lld %9.3f %9.3f %10.3f %7.3f %8.3f %9.1f %9.1f\n", size, median(whole),
                    median(file), median(shellTimes), ratio, median(whole) * 1e6 / double(size),
                    double(bytes) / mb, double(QFileInfo(theirs).size()) / mb);
        std::fflush(stdout);
        // The target is set at a million records; a run without that size reports its largest.
        if (atRecords != 1000000) {
            atRatio = ratio;
            atRecords = size;
        }
    }
    std::printf("target: CSV export at most 1.2x the shell's .mode csv, at %s records: %.3fx: %s\n",
                qPrintable(QLocale(QLocale::English).toString(atRecords)), atRatio,
                atRatio <= 1.2 ? "met" : "missed");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The shell's date text is the Russian one.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--measure-memory"))
        return measureMemory(args[2], args[3]);

    std::vector<long long> sizes = {10000, 100000, 1000000};
    int runs = 5;
    bool csvOnly = false;
    for (int i = 1; i < args.size(); i += 2) {
        if (args[i] == QLatin1String("--csv-only")) {
            csvOnly = true;
            --i;
            continue;
        }
        const bool known = i + 1 < args.size() && (args[i] == QLatin1String("--records") ||
                                                   args[i] == QLatin1String("--runs"));
        if (!known) {
            std::fprintf(stderr, "usage: bench_export [--records N] [--runs K] [--csv-only]\n");
            return 2;
        }
        if (args[i] == QLatin1String("--records"))
            sizes = {std::max(1LL, args[i + 1].toLongLong())};
        else
            runs = std::max(1, args[i + 1].toInt());
    }
    // The generated logs and both sides' files, removed at the end.
    QTemporaryDir outputs;
    if (csvOnly) {
        csvExport(sizes, runs, outputs);
        return 0;
    }
    const QString ours = outputs.filePath(QStringLiteral("ours.txt"));
    const QString theirs = outputs.filePath(QStringLiteral("shell.txt"));

    std::printf("export of all records, median of %d runs; sqlite3 runs: %s\n", runs,
                kSameLines.c_str());
    std::printf("plain: the same without rewriting the change texts' line breaks\n");
    std::printf("%10s %9s %10s %7s %8s %7s %8s %9s %9s %12s %9s %9s\n", "records", "export s",
                "sqlite3 s", "ratio", "plain s", "ratio", "us/rec", "lines", "file MB",
                "snapshot MB", "peak MB", "limit MB");
    std::vector<Row> rows;
    for (long long size : sizes) {
        const QString database = demoLog(outputs, size);
        const auto shell = [&](const std::string& sql) {
            return run({"sqlite3", "-newline", "\r\n", database.toStdString(), sql},
                       theirs.toStdString());
        };
        // One untimed round of each warms the page cache for both; then they take turns going
        // first, so that neither always meets a cache the other warmed.
        exportOnce(database, ours);
        shell(kPlainLines);
        std::vector<double> oursTimes, shellTimes, plainTimes;
        for (int r = 0; r < runs; ++r) {
            if (r % 2 == 0)
                oursTimes.push_back(exportOnce(database, ours).seconds);
            plainTimes.push_back(shell(kPlainLines));
            shellTimes.push_back(shell(kSameLines));
            if (r % 2 == 1)
                oursTimes.push_back(exportOnce(database, ours).seconds);
        }
        // The shell's last run wrote the export's lines.
        const QByteArray shellLines = varnel::toAnsi(QString::fromUtf8(readAll(theirs)));
        const bool identical = recordLines(readAll(ours)) == shellLines;

        const QString memoryOut = outputs.filePath(QStringLiteral("memory.txt"));
        run({QCoreApplication::applicationFilePath().toStdString(), "--measure-memory",
             database.toStdString(), ours.toStdString()},
            memoryOut.toStdString());
        const QList<QByteArray> memory = readAll(memoryOut).trimmed().split(' ');
        const Row row{size,
                      median(oursTimes),
                      median(shellTimes),
                      median(plainTimes),
                      identical,
                      memory.value(0).toDouble(),
                      memory.value(1).toDouble(),
                      memory.value(2).toDouble()};
        rows.push_back(row);
        const double mb = 1 << 20;
        std::printf("%10lld %9.3f %10.3f %7.3f %8.3f %7.3f %8.3f %9s %9.1f %12.1f %9.1f %9.1f\n",
                    size, row.ours, row.shell, row.ours / row.shell, row.plain,
                    row.ours / row.plain, row.ours * 1e6 / double(size),
                    identical ? "identical" : "DIFFER", row.file / mb, row.snapshot / mb,
                    row.peak / mb, (row.snapshot + 1.2 * row.file) / mb);
        std::fflush(stdout);
    }

    // The targets are set at a million records; a run without that size reports its largest.
    const Row& at = *std::find_if(rows.begin(), rows.end(), [&](const Row& r) {
        return r.records == 1000000 || &r == &rows.back();
    });
    const QString where = QLocale(QLocale::English).toString(at.records) + " records";
    const auto verdict = [](bool met) {
        return met ? "met" : "missed";
    };
    const double ratio = at.ours / at.shell;
    const double limit = at.snapshot + 1.2 * at.file;
    std::printf("target: export at most 1.2x the shell's time, at %s: %.3fx: %s\n",
                qPrintable(where), ratio, verdict(ratio <= 1.2));
    std::printf("target: record lines byte-identical to the shell's in Windows-1251, at %s: %s: "
                "%s\n",
                qPrintable(where), at.identical ? "identical" : "different", verdict(at.identical));
    std::printf("target: peak memory at most the snapshot + 1.2x the file, at %s: %.1f MB of "
                "%.1f MB: %s\n",
                qPrintable(where), at.peak / (1 << 20), limit / (1 << 20),
                verdict(at.peak <= limit));
    csvExport(sizes, runs, outputs);
    return 0;
}
