// What a user of the page "Просмотр логов" waits for, side by side with the sqlite3 shell doing
// the same work on the same file:
//   - "Отобрать" with every filter off: the main query opened into ADOQueryMain, the log grid's
//     model reset and its first paint at the page's 1239 x 394, against the shell running the
//     same statement;
//   - the filter lists rebuilt without filters and narrowed (a date-from and a table filter
//     on): the five list statements opened one after another, against the shell running the
//     same five scans written with SQLite's own functions;
//   - a click on the title "Таблица" and on "Внесенные изменения": sorting the fetched rows by
//     STABLE and by SCHANGES, against the shell's query ordered by that column;
//   - «Частота значений…» on STABLE and on SCHANGES: every fetched record's value counted on
//     the connection's thread, against the shell's GROUP BY of the same values;
//   - a text typed into the find bar that no cell shows, the worst case, since every shown
//     cell of every row is read (with the rows sorted, as after the sorts above), and a first
//     key typed, one letter that most rows show, against the shell counting the records whose
//     five shown columns are LIKE the text;
//   - the histogram «Записей по времени» that each "Отобрать" fills: the fetched records counted
//     per bucket of DDATE (months, over the demo log's two years), against the shell counting
//     them per month with GROUP BY.
//
// At the largest size it then measures what keeps the program responsive: the longest gap
// between two repaints of the progress window during "Отобрать" (the statement runs on the
// connection's thread while the window's thread waits), and how long a cancel takes from the
// press to the handler's return, during the fetch and during the SCHANGES sort.
//
//   bench_browse [--records N] [--runs K] [--data DIR] [--sqlite3 PATH] [--only OPERATION]
//
// --only runs the operations whose names begin with OPERATION ("find", "sort") and skips the
// measures of responsiveness.
//
// Without --records it measures 10,000, 100,000 and 1,000,000 records; the targets are
// checked at 1,000,000 and at 10,000,000 records (--sizes 1000000,10000000). Collation and date
// texts follow a Russian locale, the program's users'. The generated logs are kept in
// $TMPDIR/varnel-bench. "memory MB" is the snapshot's size for the select and, for the other
// operations, how far the process's resident memory rose above what it held before them.

#include "base/localetext.h"
#include "benchsupport.h"
#include "browse/core/filterset.h"
#include "browse/core/timehistogram.h"
#include "browse/core/valuefrequencies.h"
#include "browse/findbar.h"
#include "browse/loggrid.h"
#include "db/call.h"
#include "db/connectionstring.h"
#include "db/dberror.h"
#include "db/embedded/sqliteengine.h"
#include "db/logdatabase.h"
#include "ui/core/prompts.h"
#include "ui/progresswait.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStringList>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace varnel;
using namespace varnel::bench;

namespace {

const QString kTable = QStringLiteral("LOG_TABLE");
constexpr long long kTargetRecords = 1000000;
// Found nowhere; its first letter, a common one, makes the search try many places.
const QString kMissingText = QStringLiteral("нет такого текста");
constexpr double kFindTargetSeconds = 0.2;
// The histogram and «Частота значений…» at ten million records, in seconds.
struct SecondsTarget {
    const char* operation;
    double limit;
    long long at;
};
constexpr SecondsTarget kSecondsTargets[] = {
    {"histogram", 0.1, 10 * kTargetRecords},
    {"frequencies of STABLE", 0.5, 10 * kTargetRecords},
    {"frequencies of SCHANGES", 3.0, 10 * kTargetRecords},
};

// The snapshot's payload: the UTF-8 bytes of its texts and 8 bytes per number or date.
double payloadMb(const RowSet& rows)
{
    double bytes = 0;
    for (int col = 0; col < rows.columnCount(); ++col)
        for (uint32_t row = 0; row < rows.rowCount(); ++row)
            if (!rows.isNull(row, col))
                bytes += rows.column(col).type == ColumnType::Text
                             ? double(rows.text(row, col).size())
                             : 8.0;
    return bytes / 1048576.0;
}

// Cancels each call it waits for `after` into it, as a user would press Cancel, and keeps the
// moment of the press.
class CancellingWait : public Waiter {
public:
    explicit CancellingWait(std::chrono::milliseconds after) : m_after(after) {}
    void wait(Call& call) override
    {
        const auto start = Clock::now();
        while (!call.finished() && !call.abandoned()) {
            if (!m_pressed && Clock::now() - start >= m_after) {
                m_pressed = Clock::now();
                call.cancel();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // Milliseconds from the press to now; -1 when the call ended before the press.
    double sincePress() const { return m_pressed ? seconds(Clock::now() - *m_pressed) * 1000 : -1; }

private:
    std::chrono::milliseconds m_after;
    std::optional<Clock::time_point> m_pressed;
};

// The moments the progress window of `title` was painted.
class PaintClock : public QObject {
public:
    explicit PaintClock(QString title) : m_title(std::move(title)) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            if (auto* widget = qobject_cast<QWidget*>(watched);
                widget && widget->window()->windowTitle() == m_title)
                m_paints.push_back(Clock::now());
        return false;
    }
    // The longest gap between two paints, in ms, and how many there were.
    std::pair<double, size_t> longestGap() const
    {
        double gap = 0;
        for (size_t i = 1; i < m_paints.size(); ++i)
            gap = std::max(gap, seconds(m_paints[i] - m_paints[i - 1]) * 1000);
        return {gap, m_paints.size()};
    }

private:
    QString m_title;
    std::vector<Clock::time_point> m_paints;
};

// Resident memory in kB from /proc/self/status ("VmRSS" or the peak since the last reset,
// "VmHWM"); 0 where there is no such file.
long long statusKb(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').front().toLongLong();
    return 0;
}

// Seconds `action` takes and how many MB the resident memory rose above its level before.
struct Timed {
    double seconds;
    double peakMb;
};

Timed timed(const std::function<void()>& action)
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5"); // resets VmHWM to the current resident size
    clear.close();
    const long long before = statusKb("VmRSS");
    const auto start = Clock::now();
    action();
    const double s = seconds(Clock::now() - start);
    return {s, double(std::max(0LL, statusKb("VmHWM") - before)) / 1024.0};
}

// One step of what a user waits for; the steps of an operation are timed together.
struct Step {
    const char* name;
    std::function<void()> run;
};

// Nothing is asked while the benchmark runs.
class SilentPrompts : public Prompts {
public:
    void message(const QString&) override {}
    bool confirm(QWidget*, const QString&, const QString&) override { return false; }
    bool confirmOkCancel(QWidget*, const QString&) override { return false; }
    QString saveFileName(QWidget*, const SaveFileRequest&) override { return {}; }
    void showError(const QString&) override {}
    void status(const QString&) override {}
};

// What keeps the program responsive, measured at one size.
struct Responsiveness {
    long long records = 0;
    double repaintGapMs = -1;
    size_t paints = 0;
    double cancelFetchMs = -1;
    double cancelSortMs = -1;
};

// "Отобрать": the steps after the click until the rows are on the screen. Opening the dataset
// resets the grid's model through the dataset's signals.
std::vector<Step> selectSteps(LogDatabase& data, LogGrid& grid, const LocaleText& locale)
{
    return {
        {"main query text, open and reset the grid's model",
         [&data, &locale] {
             Dataset& dataset = data.mainDataset();
             dataset.close();
             dataset.clearText();
             dataset.setText(mainQueryText(data.currentLogTable(), FilterValues{}, locale));
             dataset.open(QStringLiteral("Отбор записей"));
         }},
        {"first paint of the grid",
         [&grid] {
             grid.viewport()->repaint();
         }},
    };
}

void runSteps(const std::vector<Step>& steps)
{
    for (const Step& step : steps)
        step.run();
}

// The five list statements as the shell runs them: the same scans with SQLite's built-in
// upper, substr and instr (which takes no start position, so the second hyphen is found in
// the rest of the text), date() in place of trunc(), and the date as SQLite writes it.
std::string shellListStatements(const std::optional<QDate>& from, const QString& table)
{
    const char* const heads[] = {
        "select distinct upper(stable) stable from LOG_TABLE",
        "select distinct upper(saction) saction from LOG_TABLE",
        "select distinct upper(substr(suser_info, instr(suser_info, '-') + "
        "instr(substr(suser_info, instr(suser_info, '-') + 1), '-') + 2)) Oracle_User from "
        "LOG_TABLE",
        "select distinct upper(substr(suser_info, instr(suser_info, '-') + 2, "
        "instr(substr(suser_info, instr(suser_info, '-') + 1), '-') - 3)) PC from LOG_TABLE",
        "select upper(substr(suser_info, 1, instr(suser_info, '-') - 1)) OS_User from LOG_TABLE",
    };
    const char* const keys[] = {"stable", "saction", "Oracle_User", "PC", "OS_User"};
    std::string sql;
    for (int i = 0; i < 5; ++i) {
        sql += heads[i];
        sql += " where 1=1";
        if (from)
            sql += " and date(ddate) >= '" + from->toString(Qt::ISODate).toStdString() + "'";
        if (i != 0 && !table.isEmpty())
            sql += " and upper(stable) = '" + table.toStdString() + "'";
        sql += std::string(" union select null order by ") + keys[i] + " nulls last;";
    }
    return sql;
}

// The shell's nearest to a search of the find bar: the records whose shown columns hold the
// text (LIKE ignores the case of ASCII letters only).
std::string shellFind(const QString& text)
{
    std::string sql = "select count(*) from LOG_TABLE where 0";
    for (const char* column : {"ddate", "stable", "saction", "schanges", "suser_info"})
        sql += std::string(" or ") + column + " like '%" + text.toStdString() + "%'";
    return sql;
}

struct Row {
    long long records;
    const char* operation;
    double ours;
    double shell;
    double memoryMb;
    double payloadMb = 0; // the select's
};

struct Target {
    const char* operation;
    double limit; // ratio ours / shell
    std::vector<long long> at = {kTargetRecords};
};

} // namespace

int main(int argc, char** argv)
{
    // The grid is painted off any screen unless a display is asked for.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SilentPrompts prompts;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QStringList arguments = app.arguments();
    QString only;
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--only"));
        at > 0 && at + 1 < arguments.size()) {
        only = arguments[at + 1];
        arguments.remove(at, 2);
    }
    const std::optional<Options> options = parseOptions(arguments);
    if (!options)
        return 2;
    const std::string& shell = options->shell;

    const LocaleText locale = LocaleText::current();
    FilterValues narrowed;
    narrowed.dateFrom = QDate(2026, 1, 1);
    narrowed.table = QStringLiteral("ORDERS");

    std::printf("%10s  %-24s %10s %10s %7s %9s\n", "records", "operation", "ours s", "sqlite3 s",
                "ratio", "memory MB");
    std::vector<Row> table;
    Responsiveness responsive;
    for (long long size : options->sizes) {
        const QString file = demoDatabase(options->data, size);
        const std::string fileName = file.toStdString();
        LogDatabase module;
        module.connection().connect(
            buildConnectionString(QStringLiteral("bench"), QStringLiteral("bench"), file));
        module.setCurrentLogTable(kTable);
        embedded::SqliteEngine translator(file, locale.statementDateFormat(), locale.locale());
        auto translated = [&](const QString& sql) {
            return translator.translate(sql).toStdString();
        };

        struct Operation {
            const char* name;
            std::function<void()> ours;
            std::string shellSql;
            std::function<void()> prepare; // untimed, before each of our runs
            // What the memory column shows; without it, the peak rise during our runs.
            std::function<double()> memoryMb = nullptr;
        };
        LogGrid grid;
        grid.resize(1239, 394);
        grid.attach(module.mainDataset(), prompts, [&module] { return module.currentLogTable(); });
        grid.show();
        FindBar bar;
        bar.attach(grid, prompts);
        int searches = 0;
        const std::vector<Step> select = selectSteps(module, grid, locale);
        auto openAll = [&] {
            if (!module.mainDataset().isOpen())
                runSteps(select);
        };
        // The find bar searches the rows as the grid shows them, sorted as after the sorts.
        const auto sorted = [&] {
            openAll();
            if (module.mainDataset().sortColumn() < 0)
                module.mainDataset().sortBy(QStringLiteral("SCHANGES"));
        };
        // As the page counts them: on the connection's thread, the window's thread waiting.
        const auto frequencies = [&](const char* field, ValueColumn by) {
            Dataset& dataset = module.mainDataset();
            const int column = dataset.field(QLatin1String(field)).index();
            module.connection().work(QStringLiteral("Частота значений"), [&](Call& call) {
                countValues(dataset, column, by, locale, kListedValues,
                            [&call](int64_t records) { call.setCount(records); });
            });
        };
        const std::vector<Operation> operations = {
            {"select, no filter", [&] { runSteps(select); },
             translated(mainQueryText(kTable, FilterValues{}, locale)), [] {},
             [&] {
                 return double(module.mainDataset().rows().allocatedBytes()) / 1048576.0;
             }},
            {"filter lists, no filter", [&] { rebuildFilterLists(module, FilterValues{}, locale); },
             shellListStatements(std::nullopt, QString()),
             [] {
             }},
            {"filter lists, narrowed", [&] { rebuildFilterLists(module, narrowed, locale); },
             shellListStatements(narrowed.dateFrom, narrowed.table),
             [] {
             }},
            {"sort by STABLE", [&] { module.mainDataset().sortBy(QStringLiteral("STABLE")); },
             translated(QStringLiteral("Select * from LOG_TABLE where 1=1 order by stable")),
             openAll},
            {"sort by SCHANGES", [&] { module.mainDataset().sortBy(QStringLiteral("SCHANGES")); },
             translated(QStringLiteral("Select * from LOG_TABLE where 1=1 order by schanges")),
             openAll},
            {"frequencies of STABLE", [&] { frequencies("STABLE", ValueColumn::Table); },
             "select upper(stable), count(*) from LOG_TABLE group by 1", openAll},
            {"frequencies of SCHANGES", [&] { frequencies("SCHANGES", ValueColumn::Changes); },
             "select substr(schanges, 1, 100), count(*) from LOG_TABLE group by 1", openAll},
            // Typed anew each run: the dataset keeps what it found for the last text.
            {"find, no match",
             [&] {
                 bar.setText(kMissingText + QString::number(++searches % 2));
                 grid.viewport()->repaint();
             },
             shellFind(kMissingText), sorted},
            // The first key typed: one letter that most rows show, in either case.
            {"find, one letter",
             [&] {
                 bar.setText(++searches % 2 ? QStringLiteral("е") : QStringLiteral("Е"));
                 grid.viewport()->repaint();
             },
             shellFind(QStringLiteral("е")), sorted},
            {"histogram",
             [&] {
                 const RowSet& rows = module.mainDataset().rows();
                 const TimeHistogram histogram =
                     countDates(rows, rows.indexOf(QStringLiteral("DDATE")));
                 if (histogram.isEmpty())
                     std::printf("the histogram counted nothing\n");
             },
             "select strftime('%Y-%m', ddate), count(*) from LOG_TABLE group by 1", openAll},
        };
        for (const Operation& op : operations) {
            if (!QString::fromLatin1(op.name).startsWith(only))
                continue;
            // One untimed round of each warms the page cache for both; then they take turns at
            // going first, so that neither always meets a cache the other warmed.
            op.prepare();
            op.ours();
            runShell(shell, fileName, op.shellSql);
            std::vector<double> ours, theirs;
            double peak = 0;
            for (int r = 0; r < options->runs; ++r) {
                if (r % 2 == 1)
                    theirs.push_back(runShell(shell, fileName, op.shellSql));
                op.prepare();
                const Timed t = timed(op.ours);
                ours.push_back(t.seconds);
                peak = std::max(peak, t.peakMb);
                if (r % 2 == 0)
                    theirs.push_back(runShell(shell, fileName, op.shellSql));
            }
            const Row row{size,
                          op.name,
                          median(ours),
                          median(theirs),
                          op.memoryMb ? op.memoryMb() : peak,
                          op.memoryMb ? payloadMb(module.mainDataset().rows()) : 0};
            table.push_back(row);
            std::printf("%10lld  %-24s %10.4f %10.4f %7.3f %9.1f\n", row.records, row.operation,
                        row.ours, row.shell, row.ours / row.shell, row.memoryMb);
            std::fflush(stdout);
        }

        if (size != options->sizes.back() || !only.isEmpty())
            continue;
        // The window's thread waits in the progress window while the statement runs.
        responsive.records = size;
        {
            ProgressWait wait;
            PaintClock paints(QStringLiteral("Отбор записей"));
            app.installEventFilter(&paints);
            module.connection().setWaiter(&wait);
            runSteps(select);
            module.connection().setWaiter(nullptr);
            app.removeEventFilter(&paints);
            std::tie(responsive.repaintGapMs, responsive.paints) = paints.longestGap();
        }
        // Cancel well into the fetch, and well into the sort.
        const auto measured = [&](const char* operation) {
            for (const Row& row : table)
                if (row.records == size && std::string(row.operation) == operation)
                    return row.ours;
            return 0.0;
        };
        const double selectSeconds = measured("select, no filter");
        const double sortSeconds = measured("sort by SCHANGES");
        const auto cancelled = [&](double after, const std::function<void()>& operation) {
            CancellingWait press(std::chrono::milliseconds(qint64(after * 1000)));
            module.connection().setWaiter(&press);
            try {
                operation();
            } catch (const Cancelled&) {
            }
            module.connection().setWaiter(nullptr);
            return press.sincePress();
        };
        responsive.cancelFetchMs = cancelled(selectSeconds * 0.4, [&] { runSteps(select); });
        openAll();
        responsive.cancelSortMs = cancelled(
            sortSeconds * 0.4, [&] { module.mainDataset().sortBy(QStringLiteral("SCHANGES")); });
        std::printf("%10lld  repaint gap %.0f ms over %zu paints; cancel: %.0f ms in the fetch, "
                    "%.0f ms in the sort\n",
                    size, responsive.repaintGapMs, responsive.paints, responsive.cancelFetchMs,
                    responsive.cancelSortMs);
    }

    const Target targets[] = {
        {"select, no filter", 1.15, {kTargetRecords, 10 * kTargetRecords}},
        {"filter lists, no filter", 1.3},
        {"filter lists, narrowed", 1.3},
        {"sort by STABLE", 0.2},
        {"sort by SCHANGES", 1.0},
    };
    for (const Target& target : targets) {
        if (!QString::fromLatin1(target.operation).startsWith(only))
            continue;
        for (const long long records : target.at) {
            const Row* found = nullptr;
            for (const Row& row : table)
                if (row.records == records && std::string(row.operation) == target.operation)
                    found = &row;
            if (!found && records != kTargetRecords)
                continue;
            std::printf("target: %s <= %.2fx sqlite3 at %lld records: ", target.operation,
                        target.limit, records);
            if (found)
                std::printf("%.3fx %s\n", found->ours / found->shell,
                            found->ours <= target.limit * found->shell ? "met" : "missed");
            else
                std::printf("not measured (run with --records %lld)\n", records);
        }
    }
    for (const Row& row : table) {
        if (std::string(row.operation) != "find, no match" || row.records != kTargetRecords)
            continue;
        std::printf("target: find, no match <= %.2f s at %lld records: %.3f s %s\n",
                    kFindTargetSeconds, row.records, row.ours,
                    row.ours <= kFindTargetSeconds ? "met" : "missed");
    }
    for (const SecondsTarget& target : kSecondsTargets) {
        if (!QString::fromLatin1(target.operation).startsWith(only))
            continue;
        std::printf("target: %s <= %.2f s at %lld records: ", target.operation, target.limit,
                    target.at);
        const Row* found = nullptr;
        for (const Row& row : table)
            if (row.records == target.at && std::string(row.operation) == target.operation)
                found = &row;
        if (found)
            std::printf("%.3f s %s\n", found->ours, found->ours <= target.limit ? "met" : "missed");
        else
            std::printf("not measured (run with --sizes %lld)\n", target.at);
    }
    if (!only.isEmpty())
        return 0;
    for (const Row& row : table) {
        if (std::string(row.operation) != "select, no filter" || row.records < kTargetRecords)
            continue;
        const double limit = row.payloadMb + 24.0 * double(row.records) / 1048576.0;
        std::printf("target: memory, snapshot <= payload + 24 B per record at %lld records: "
                    "%.1f MB of %.1f MB %s\n",
                    row.records, row.memoryMb, limit, row.memoryMb <= limit ? "met" : "missed");
    }
    const auto verdict = [](double ms, double limit) {
        return ms < 0 ? "not measured" : ms <= limit ? "met" : "missed";
    };
    std::printf("target: repaint gap of the progress window <= 100 ms during select at %lld "
                "records: %.0f ms %s\n",
                responsive.records, responsive.repaintGapMs,
                responsive.paints < 2 ? "not measured" : verdict(responsive.repaintGapMs, 100));
    std::printf("target: cancel during the fetch <= 200 ms at %lld records: %.0f ms %s\n",
                responsive.records, responsive.cancelFetchMs,
                verdict(responsive.cancelFetchMs, 200));
    std::printf("target: cancel during the sort <= 200 ms at %lld records: %.0f ms %s\n",
                responsive.records, responsive.cancelSortMs, verdict(responsive.cancelSortMs, 200));
    return 0;
}
