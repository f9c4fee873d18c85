// A whole session of the program, run again and again with the gateway failing at one more of
// its calls each time: opening the database, the login probe, the lists, the main query, the
// deletions and the export. Every failure must be shown in the way its operation's rules say,
// leave the datasets and the lists in their stated states, and the program must go on: the user
// repeats the failed operation, and the session ends exactly as one that met no fault.

#include "app/mainwindow.h"
#include "browse/core/filterset.h"
#include "browse/dblookupcombobox.h"
#include "browse/loggrid.h"
#include "browse/loggridmodel.h"
#include "common/session.h"
#include "common/testsupport.h"
#include "db/dberror.h"
#include "db/engine.h"
#include "db/logdatabase.h"
#include "login/logindialog.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

namespace varnel::test {
namespace {

using Kind = ScriptedPrompts::Kind;

const QString kLost = QStringLiteral("ORA-03113: end-of-file on communication channel");
const QString kDbError = QStringLiteral("Ошибка подключения к базе данных!\n");

// Counts the calls of the gateway over a session, opening an engine included; the one numbered
// `failAt` fails as a lost connection does, without reaching the database.
struct FaultPlan {
    int calls = 0;
    int failAt = 0;

    void call()
    {
        if (++calls == failAt)
            throw DbError(kLost);
    }
};

// The real embedded engine behind a gate that the plan may close once.
class FailingEngine final : public Engine {
public:
    FailingEngine(std::unique_ptr<Engine> real, FaultPlan& plan)
        : m_real(std::move(real)), m_plan(plan)
    {}

    RowSet query(const QString& sql) override
    {
        m_plan.call();
        return m_real->query(sql);
    }
    int64_t execute(const QString& sql) override
    {
        m_plan.call();
        return m_real->execute(sql);
    }
    void deleteRecord(const QString& table, const RowSet& rows, uint32_t row) override
    {
        m_plan.call();
        m_real->deleteRecord(table, rows, row);
    }
    void setProgressHandler(std::function<void()> handler) override
    {
        m_real->setProgressHandler(std::move(handler));
    }

private:
    std::unique_ptr<Engine> m_real;
    FaultPlan& m_plan;
};

Connection::EngineFactory failingEngines(FaultPlan& plan)
{
    return [&plan](const QString& connectionString,
                   const LocaleText& locale) -> std::unique_ptr<Engine> {
        plan.call();
        return std::make_unique<FailingEngine>(Connection::openEngine(connectionString, locale),
                                               plan);
    };
}

constexpr const char* kLists[] = {"DBLookupComboBoxTable", "DBLookupComboBoxAction",
                                  "DBLookupComboBoxOracleUser", "DBLookupComboBoxPC",
                                  "DBLookupComboBoxOSUser"};

// What the user can see of the program, and what the database holds.
struct View {
    bool mainWindow = false;
    bool connected = false;
    std::array<bool, kDatasetRoleCount> open{};
    std::array<QStringList, 5> lists;
    std::array<QString, 5> shown;
    std::array<bool, 2> dateBoxes{};
    QString changes;
    // Not a QList: Qt 6.4 compares two empty ones through memcmp with a null pointer.
    std::vector<int> grid;
    long long records = 0;
    QByteArray exported;

    bool operator==(const View&) const = default;
};

void PrintTo(const View& v, std::ostream* out)
{
    *out << "window " << v.mainWindow << ", connected " << v.connected << ", open";
    for (bool open : v.open)
        *out << ' ' << open;
    for (size_t i = 0; i < 5; ++i)
        *out << "\n  list " << i << " [" << v.lists[i].join('|').toStdString() << "] shows \""
             << v.shown[i].toStdString() << '"';
    *out << "\n  date boxes " << v.dateBoxes[0] << v.dateBoxes[1] << ", changes \""
         << v.changes.toStdString() << "\", " << v.grid.size() << " rows, " << v.records
         << " records, exported " << v.exported.size() << " bytes";
}

// How a failure shows, and what it leaves.
enum class Rule {
    LoginMessage, // "Ошибка подключения..." in a message box; disconnected, no main window
    ListError,   // default error display; the lists before the failing one stay open
    QueryError,  // default error display; ADOQueryMain closed, grid empty, panel unchanged
    DeleteError, // default error display; the row stays in the grid and in the table
    PeriodError, // "Ошибка подключения..." in a message box; commandDataset closed
    ExportError, // default error display; no completion message, no file
};

struct Failure {
    Rule rule;
    int list = 0; // ListError: the list that failed, 0 to 4
    // ListError: a later rebuild of the same event opened every list again.
    bool rebuiltAgain = false;
};

class Faults : public ::testing::Test {
protected:
    struct Step {
        const char* name;
        std::function<void(Session&)> act;
        // What a failure of its n-th call breaks (n from 0), and how the user repeats it.
        std::function<Failure(int call)> rule;
        std::function<void(Session&)> retry;
    };

    void SetUp() override
    {
        const QString demo = makeDemoDatabase(folder, 300, 7);
        ASSERT_TRUE(QFile::copy(demo, pristine));
    }

    View look(Session& s) const
    {
        View v;
        v.mainWindow = s.window() != nullptr;
        v.connected = s.data().connection().connected();
        for (size_t i = 0; i < kDatasetRoleCount; ++i)
            v.open[i] = s.data().dataset(DatasetRole(i)).isOpen();
        v.records = queryScalar(base, QStringLiteral("select count(*) from LOG_TABLE"));
        v.exported = withoutStamps(fileBytes(exported));
        if (!s.window())
            return v;
        for (size_t i = 0; i < 5; ++i) {
            v.lists[i] = s.entries(kLists[i]);
            v.shown[i] = s.find<DBLookupComboBox>(kLists[i])->shownText();
        }
        v.dateBoxes = {s.find<QCheckBox>("CheckBoxDateFrom")->isChecked(),
                       s.find<QCheckBox>("CheckBoxDateTo")->isChecked()};
        v.changes = s.find<QLineEdit>("EditChanges")->text();
        const QList<int> sids = s.sids();
        v.grid.assign(sids.begin(), sids.end());
        return v;
    }

    // Runs the steps with the plan's fault; returns the view after each step, after its retry
    // when it failed. `calls` receives the number of gateway calls each step made.
    std::vector<View> run(const std::vector<Step>& steps, FaultPlan& plan,
                          std::vector<int>* calls = nullptr)
    {
        QFile::remove(base);
        QFile::remove(exported);
        EXPECT_TRUE(QFile::copy(pristine, base));
        Session s(folder.path(QStringLiteral("Login.ini")), failingEngines(plan));
        std::vector<View> views;
        for (const Step& step : steps) {
            SCOPED_TRACE(step.name);
            const View before = look(s);
            const int first = plan.calls;
            s.prompts.shown.clear();
            step.act(s);
            if (calls)
                calls->push_back(plan.calls - first);
            if (plan.failAt > first && plan.failAt <= plan.calls) {
                checkFailure(s, step.rule(plan.failAt - first - 1), plan.failAt - first - 1,
                             before);
                s.prompts.shown.clear();
                step.retry(s);
            }
            for (const auto& shown : s.prompts.shown)
                EXPECT_TRUE(shown.kind != Kind::Error && !shown.text.startsWith(kDbError))
                    << shown.text.toStdString();
            views.push_back(look(s));
        }
        return views;
    }

    void checkFailure(Session& s, Failure failure, int call, const View& before)
    {
        SCOPED_TRACE(::testing::Message() << "failing call " << call << " of the step");
        const View after = look(s);
        QStringList errors;
        for (const auto& shown : s.prompts.shown)
            if (shown.kind == Kind::Error || shown.text.startsWith(kDbError))
                errors << (shown.kind == Kind::Error ? QStringLiteral("error: ")
                                                     : QStringLiteral("message: ")) +
                              shown.text;
        const QString message = QStringLiteral("message: ") + kDbError + kLost;
        const QString error = QStringLiteral("error: ") + kLost + QLatin1Char('.');
        for (const auto& shown : s.prompts.shown)
            EXPECT_FALSE(shown.text == QStringLiteral("Записи успешно удалены!") ||
                         shown.text == QStringLiteral("Выгрузка логов завершена!"));
        switch (failure.rule) {
        case Rule::LoginMessage:
            EXPECT_EQ(errors, QStringList{message});
            EXPECT_FALSE(after.connected);
            EXPECT_FALSE(after.mainWindow);
            EXPECT_FALSE(after.open[roleIndex(DatasetRole::Main)]);
            EXPECT_NE(s.dialog(), nullptr);
            return;
        case Rule::ListError: {
            EXPECT_EQ(errors, QStringList{error});
            const int failed = failure.rebuiltAgain ? 5 : failure.list;
            for (int list = 0; list < 5; ++list) {
                const auto dataset = filterListDataset(kFilterLists[list]);
                EXPECT_EQ(after.open[roleIndex(dataset)], list < failed) << list;
                if (s.window() && list >= failed) {
                    EXPECT_TRUE(after.lists[size_t(list)].isEmpty());
                    EXPECT_TRUE(after.shown[size_t(list)].isEmpty());
                }
            }
            EXPECT_TRUE(after.connected);
            if (!s.window()) {
                EXPECT_NE(s.dialog(), nullptr);
                EXPECT_EQ(s.data().currentLogTable(), QStringLiteral("LOG_TABLE"));
            }
            return;
        }
        case Rule::QueryError: {
            EXPECT_EQ(errors, QStringList{error});
            EXPECT_FALSE(after.open[roleIndex(DatasetRole::Main)]);
            EXPECT_EQ(s.grid()->model()->rowCount(), 0);
            View panel = before;
            panel.open[roleIndex(DatasetRole::Main)] = false;
            panel.grid.clear();
            EXPECT_TRUE(after == panel);
            return;
        }
        case Rule::DeleteError:
            EXPECT_EQ(errors, QStringList{error});
            EXPECT_TRUE(after == before);
            return;
        case Rule::PeriodError: {
            EXPECT_EQ(errors, QStringList{message});
            View expected = before;
            expected.open[roleIndex(DatasetRole::Command)] = false;
            EXPECT_TRUE(after == expected);
            return;
        }
        case Rule::ExportError:
            EXPECT_EQ(errors, QStringList{error});
            EXPECT_EQ(after.exported, QByteArray("<no file>"));
            EXPECT_FALSE(after.open[roleIndex(DatasetRole::Export)]);
            return;
        }
    }

    void sweep(const std::vector<Step>& steps)
    {
        FaultPlan clean;
        std::vector<int> calls;
        const std::vector<View> expected = run(steps, clean, &calls);
        ASSERT_TRUE(expected.back().mainWindow);
        for (int n = 1; n <= clean.calls; ++n) {
            SCOPED_TRACE(::testing::Message() << "the gateway fails at call " << n);
            FaultPlan plan{0, n};
            const std::vector<View> views = run(steps, plan);
            for (size_t i = 0; i < steps.size(); ++i)
                EXPECT_EQ(views[i], expected[i]) << "after " << steps[i].name;
            if (HasFailure())
                return;
        }
    }

    // A rebuild opens the five lists in their order; a reset may run two rebuilds.
    static Failure listRule(int call) { return {Rule::ListError, call % 5}; }
    static Failure queryRule(int) { return {Rule::QueryError}; }

    // The login opens the database, runs its `checks` (the probe, or the statements of the
    // creation), then opens the lists.
    static std::function<Failure(int)> loginRule(int checks)
    {
        return [checks](int call) -> Failure {
            if (call <= checks)
                return {Rule::LoginMessage};
            return {Rule::ListError, call - 1 - checks};
        };
    }

    Step login(bool create)
    {
        return {"login",
                [this, create](Session& s) {
                    s.login({base, QStringLiteral("LOG_TABLE"), QStringLiteral("scott"),
                             QStringLiteral("tiger"), create});
                },
                loginRule(create ? 3 : 1),
                // A table that a failed creation left behind is read, not created again.
                [this](Session& s) {
                    const bool exists =
                        queryScalar(base, QStringLiteral("select count(*) from sqlite_master "
                                                         "where name = 'LOG_TABLE'")) == 1;
                    s.login({base, QStringLiteral("LOG_TABLE"), QStringLiteral("scott"),
                             QStringLiteral("tiger"), !exists});
                }};
    }

    static void refresh(Session& s) { s.click("BitBtnRefresh"); }

    // What gives the lists back after a failed rebuild. A choice whose list failed is hidden,
    // and a hidden choice is an off filter, so the lists that the next rebuild makes do not
    // narrow by it even when it shows again: the user refreshes, so that every choice shows,
    // then leaves a drop-down, so that the lists are built under all of them.
    static void relist(Session& s)
    {
        refresh(s);
        QWidget* table = s.find<QWidget>("DBLookupComboBoxTable");
        table->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(table, Qt::Key_Tab);
    }

    TempFolder folder;
    QString pristine = folder.path(QStringLiteral("pristine.sqlite"));
    QString base = folder.path(QStringLiteral("log.sqlite"));
    QString exported = folder.path(QStringLiteral("export.txt"));
};

TEST_F(Faults, EveryCallOfAFullSessionFailingOnceIsShownAndTheProgramGoesOn)
{
    const Period spring{QDate(2025, 3, 1), QDate(2025, 6, 1)};
    auto query = [](Session& s) {
        s.click("BitBtnSelect");
    };
    const std::vector<Step> steps = {
        login(false),
        {"Отобрать", query, queryRule, query},
        {"title click", [](Session& s) { s.titleClick(QStringLiteral("STABLE")); }, listRule,
         relist},
        {"a table chosen",
         [](Session& s) {
             EXPECT_TRUE(s.choose("DBLookupComboBoxTable", QStringLiteral("ORDERS")));
         },
         listRule, relist},
        // The click takes the focus from the action drop-down, which rebuilds the lists before
        // the date box does.
        {"a date box ticked",
         [](Session& s) {
             s.find<QDateEdit>("DateTimePickerFrom")->setDate(QDate(2025, 6, 1));
             s.click("CheckBoxDateFrom");
         },
         [](int call) {
             return call < 5 ? Failure{Rule::ListError, call, true} : listRule(call);
         },
         relist},
        {"Обновить фильтры", refresh, listRule, relist},
        {"Отобрать under filters", query, queryRule, query},
        {"Ctrl+Delete", [](Session& s) { s.deleteRow(1); },
         [](int) { return Failure{Rule::DeleteError}; },
         [](Session& s) {
             s.deleteRow(1);
         }},
        {"period deletion", [spring](Session& s) { s.deletePeriod(spring); },
         [](int) { return Failure{Rule::PeriodError}; },
         [spring](Session& s) {
             s.deletePeriod(spring);
         }},
        {"export", [this](Session& s) { s.exportTo(exported); },
         [](int) { return Failure{Rule::ExportError}; },
         [this](Session& s) {
             s.exportTo(exported);
         }},
        {"Сбросить фильтры", [](Session& s) { s.click("BitBtnClearFiltr"); }, listRule,
         [](Session& s) {
             s.click("BitBtnClearFiltr");
         }},
        {"Отобрать at the end", query, queryRule, query},
    };
    sweep(steps);
}

TEST_F(Faults, EveryCallOfALoginThatCreatesTheTableFailingOnceIsShown)
{
    ASSERT_TRUE(QFile::remove(pristine));
    pristine = makeDatabase(folder, QStringLiteral("empty.sqlite"));
    auto query = [](Session& s) {
        s.click("BitBtnSelect");
    };
    sweep({login(true), {"Отобрать", query, queryRule, query}});
}

} // namespace
} // namespace varnel::test
