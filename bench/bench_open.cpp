// Opening the main query into a dataset, side by side with the sqlite3 shell running the same
// (rewritten) statement on the same file with its output sent to /dev/null.
//
//   bench_open [--records N | --sizes 10000,100000,1000000] [--runs 5] [--data DIR]
//              [--sqlite3 PATH]
//
// Per size it prints both median times, their ratio, the time per record, and the snapshot's
// bytes per record next to the payload per record (UTF-8 bytes of the text values plus 8 bytes
// for each non-NULL number or date).

#include "base/localetext.h"
#include "benchsupport.h"
#include "db/connectionstring.h"
#include "db/embedded/sqliteengine.h"
#include "db/logdatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using varnel::bench::Clock;
using varnel::bench::median;
using varnel::bench::runShell;
using varnel::bench::seconds;
const QString kTable = QStringLiteral("LOG_TABLE");

struct Opened {
    double seconds;
    size_t snapshotBytes;
    size_t payloadBytes;
    uint32_t rows;
};

Opened openInDataset(const QString& file, const QString& statement, bool measureMemory)
{
    varnel::LogDatabase database;
    varnel::Dataset& dataset = database.mainDataset();
    dataset.setText(statement);
    const auto start = Clock::now();
    database.connection().connect(
        varnel::buildConnectionString(QStringLiteral("bench"), QStringLiteral("bench"), file));
    dataset.open();
    const auto end = Clock::now();

    Opened result{seconds(end - start), dataset.rows().allocatedBytes(), 0,
                  dataset.rows().rowCount()};
    if (measureMemory) {
        const varnel::RowSet& rows = dataset.rows();
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
    const std::optional<varnel::bench::Options> options =
        varnel::bench::parseOptions(app.arguments());
    if (!options)
        return 2;
    const std::vector<long long>& sizes = options->sizes;
    const int runs = options->runs;
    const std::string& shell = options->shell;

    const QString statement = QStringLiteral("Select * from ") + kTable +
                              QStringLiteral(" where 1=1 order by ddate, sid");
    std::printf("statement: %s\n", statement.toUtf8().constData());
    std::printf("%10s %12s %12s %7s %12s %12s %12s %12s\n", "records", "open s", "sqlite3 s",
                "ratio", "open us/rec", "snapshot B/r", "payload B/r", "limit B/r");

    for (long long size : sizes) {
        const QString file = varnel::bench::demoDatabase(options->data, size);
        const QString shellSql =
            varnel::embedded::SqliteEngine(file, QStringLiteral("dd.MM.yyyy"), QLocale())
                .translate(statement);
        if (size == sizes.front())
            std::printf("sqlite3 runs: %s\n", shellSql.toUtf8().constData());

        // One untimed round of each warms the page cache for both.
        openInDataset(file, statement, false);
        runShell(shell, file.toStdString(), shellSql.toStdString());
        // Alternate who goes first, so that neither always meets a cache the other warmed.
        std::vector<double> ours, theirs;
        for (int r = 0; r < runs; ++r) {
            if (r % 2 == 0) {
                ours.push_back(openInDataset(file, statement, false).seconds);
                theirs.push_back(runShell(shell, file.toStdString(), shellSql.toStdString()));
            } else {
                theirs.push_back(runShell(shell, file.toStdString(), shellSql.toStdString()));
                ours.push_back(openInDataset(file, statement, false).seconds);
            }
        }
        const Opened memory = openInDataset(file, statement, true);
        const double openTime = median(ours), shellTime = median(theirs);
        const double records = double(std::max<uint32_t>(memory.rows, 1));
        const double snapshot = double(memory.snapshotBytes) / records;
        const double payload = double(memory.payloadBytes) / records;
        std::printf("%10lld %12.4f %12.4f %7.3f %12.3f %12.1f %12.1f %12.1f\n", size, openTime,
                    shellTime, openTime / shellTime, openTime * 1e6 / double(size), snapshot,
                    payload, 1.2 * payload + 48);
        std::fflush(stdout);
    }
    std::printf("targets: ratio <= 1.15 at 1,000,000 records; snapshot <= 1.2 x payload + 48 B per "
                "record\n");
    return 0;
}
