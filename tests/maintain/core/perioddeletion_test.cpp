// The period deletion on a temporary embedded database, without windows: what it deletes, what
// it reports, and what it leaves in the command dataset.

#include "base/localetext.h"
#include "common/blockingengine.h"
#include "common/testsupport.h"
#include "db/call.h"
#include "db/dberror.h"
#include "db/logdatabase.h"
#include "maintain/core/perioddeletion.h"

#include <gtest/gtest.h>

namespace varnel::test {
namespace {

// Around the period 01.05.2026 - 02.05.2026: its two bounds, a record inside, one a second
// before and one a second after, and one without a date. Sid n is bit n of sidsLeft().
const QStringList kLogs = {
    "create table LOGS(sid NUMBER, ddate DATE, stable VARCHAR2(50), saction VARCHAR2(10), "
    "schanges VARCHAR2(4000), suser_info VARCHAR2(100))",
    "insert into LOGS(sid, ddate, stable) values (1, '2026-05-01 00:00:00', 'A'), "
    "(2, '2026-05-01 10:00:00', 'B'), (3, '2026-05-02 00:00:00', 'C'), "
    "(4, '2026-05-02 00:00:01', 'D'), (5, '2026-04-30 23:59:59', 'E'), (6, NULL, 'F')"};
constexpr long long kAll = 0b1111110;

const QDate kMay1(2026, 5, 1), kMay2(2026, 5, 2);

long long sidsLeft(const QString& path)
{
    return queryScalar(path, QStringLiteral("select ifnull(sum(1 << sid), 0) from LOGS"));
}

// A log database on a fresh copy of kLogs whose deletions, while `blocked` holds, wait until
// cancelled. The command dataset starts open on another statement, as an earlier use leaves it.
class PeriodDeletion : public ::testing::Test {
protected:
    QString use(const QString& table)
    {
        const QString path =
            makeDatabase(folder, QStringLiteral("logs%1.sqlite").arg(++files), kLogs);
        database.connection().connect(localConnectionString(path));
        database.setCurrentLogTable(table);
        dataset().setText(QStringLiteral("Select * from LOGS"));
        dataset().open();
        return path;
    }
    Dataset& dataset() { return database.commandDataset(); }

    TempFolder folder;
    int files = 0;
    bool blocked = false;
    LogDatabase database{BlockingEngine::factory(
        [this](const QString& sql) { return blocked && sql.startsWith(QLatin1String("delete")); })};
    const LocaleText locale{QLocale(QLocale::Russian, QLocale::Russia)};
};

TEST_F(PeriodDeletion, DeletesFromFromMidnightToToMidnightAndReportsTheStatementsCount)
{
    const struct {
        const char* name;
        std::optional<Period> period;
        int64_t deleted;
        long long left;
    } cases[] = {
        {"no period: every record", std::nullopt, 6, 0},
        {"both bounds included", Period{kMay1, kMay2}, 3, 0b1110000},
        {"From = To: its midnight only", Period{kMay1, kMay1}, 1, 0b1111100},
        {"From later than To: nothing, and still success", Period{kMay2, kMay1}, 0, kAll},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = use(QStringLiteral("LOGS"));
        const PeriodDeletionOutcome outcome = deletePeriod(database, c.period, locale);
        EXPECT_EQ(outcome.failure, std::nullopt);
        EXPECT_EQ(outcome.deleted, c.deleted);
        EXPECT_EQ(sidsLeft(path), c.left);
        EXPECT_EQ(dataset().getText(),
                  periodDeletionStatement(QStringLiteral("LOGS"), c.period, locale) + "\r\n");
        EXPECT_FALSE(dataset().isOpen());
    }
}

// A failure comes back as the database's message, a cancel as Cancelled; neither deletes a
// record, and both leave the dataset closed.
TEST_F(PeriodDeletion, AFailureReturnsTheDatabasesMessageAndACancelPropagates)
{
    struct Impatient : Waiter {
        void wait(Call& call) override
        {
            call.cancel();
            call.waitFinished();
        }
    } impatient;
    const struct {
        const char* table;
        bool cancel;
        const char* failure;
    } cases[] = {
        {"MISSING", false, "ORA-00942: table or view does not exist"},
        // A second statement pasted into the name never runs.
        {"LOGS; delete LOGS", false, "ORA-00911: invalid character"},
        {"LOGS", true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        const QString path = use(QString::fromUtf8(c.table));
        blocked = c.cancel;
        database.connection().setWaiter(c.cancel ? &impatient : nullptr);
        if (c.cancel) {
            EXPECT_THROW(deletePeriod(database, std::nullopt, locale), Cancelled);
        } else {
            const PeriodDeletionOutcome outcome = deletePeriod(database, std::nullopt, locale);
            EXPECT_EQ(outcome.failure, QString::fromUtf8(c.failure));
        }
        database.connection().setWaiter(nullptr);
        blocked = false;
        EXPECT_EQ(sidsLeft(path), kAll);
        EXPECT_FALSE(dataset().isOpen());
    }
}

} // namespace
} // namespace varnel::test
