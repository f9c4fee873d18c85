#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace varnel::bench {

using Clock = std::chrono::steady_clock;

// The command line every benchmark takes: --records N (one size) or --sizes N,N,...
// (default: 10,000, 100,000 and 1,000,000), --runs K (median of K, default 5), --data DIR
// (where the generated logs are kept, default $TMPDIR/varnel-bench), --sqlite3 PATH.
struct Options {
    std::vector<long long> sizes = {10000, 100000, 1000000};
    int runs = 5;
    QString data;
    std::string shell = "sqlite3";
};
// Empty, after printing the usage, when the command line is not understood.
std::optional<Options> parseOptions(const QStringList& args);

double seconds(Clock::duration d);
double median(std::vector<double> values);

// Seconds the sqlite3 shell takes to run `sql` (one or more statements separated by ";") on
// `file` with its output sent to /dev/null; raises std::runtime_error when the shell fails.
double runShell(const std::string& shell, const std::string& file, const std::string& sql);

// The demo log of `records` records in `folder`, generated when it is not there yet (the same
// options always give the same records, so benchmarks share the files).
QString demoDatabase(const QString& folder, long long records);

} // namespace varnel::bench
