// Every statement a user waits for runs on the connection's thread: the windows stay painted,
// a progress window shows what runs, and Cancel (its button, Escape, its close box) stops it,
// leaving what a failure would leave and no message but «Отменено». Oracle's driver, which
// blocks inside one call, is stood in for by an engine that waits before each chosen statement.

#include "app/mainwindow.h"
#include "browse/loggrid.h"
#include "browse/loggridmodel.h"
#include "common/blockingengine.h"
#include "common/session.h"
#include "common/testsupport.h"
#include "db/dberror.h"
#include "db/embedded/sqliteengine.h"
#include "db/logdatabase.h"
#include "ui/progresswait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>

namespace varnel::test {
namespace {

using Kind = ScriptedPrompts::Kind;

// How the user stops a wait.
enum class Stop { Button, Escape, CloseBox };
const Stop kStops[] = {Stop::Button, Stop::Escape, Stop::CloseBox};

const char* stopName(Stop stop)
{
    return stop == Stop::Button ? "Cancel" : stop == Stop::Escape ? "Escape" : "close box";
}

// Stops the next wait of `session` once its window is shown; records what the window said.
struct Stopper {
    Session& session;
    Stop stop;
    QString title;
    QElapsedTimer pressed;
    QString text; // what the window said when it was stopped

    void arm()
    {
        ProgressWait& wait = session.progressWait();
        wait.whileShown = [this, &wait](QWidget& window) {
            title = window.windowTitle();
            text = window.findChild<QLabel*>("ProgressText")->text();
            wait.whileShown = {};
            pressed.start();
            switch (stop) {
            case Stop::Button:
                QTest::mouseClick(window.findChild<QPushButton*>("ButtonCancel"), Qt::LeftButton);
                break;
            case Stop::Escape:
                QTest::keyClick(&window, Qt::Key_Escape);
                break;
            case Stop::CloseBox:
                window.close();
                break;
            }
        };
    }
};

class Cancel : public ::testing::Test {
protected:
    // A session over a demo log whose statements that `blocks` picks, once logged in, wait
    // ten seconds first.
    std::unique_ptr<Session> login(const std::function<bool(const QString&)>& blocks)
    {
        path = makeDemoDatabase(folder, 300, ++logs);
        armed = false;
        auto session =
            std::make_unique<Session>(folder.path(QStringLiteral("Login.ini")),
                                      BlockingEngine::factory([this, blocks](const QString& sql) {
                                          return armed.load() && blocks(sql);
                                      }));
        EXPECT_TRUE(session->login({path, QStringLiteral("LOG_TABLE")}));
        armed = true;
        return session;
    }
    long long records() const
    {
        return queryScalar(path, QStringLiteral("select count(*) from LOG_TABLE"));
    }
    // The cancel took the program back at once, said «Отменено» and nothing else.
    static void expectCancelled(const Session& session, const Stopper& stopper, const char* title)
    {
        EXPECT_EQ(stopper.title, QString::fromUtf8(title));
        EXPECT_LT(stopper.pressed.elapsed(), 2000);
        ASSERT_FALSE(session.prompts.shown.empty());
        EXPECT_EQ(session.prompts.shown.back().kind, Kind::Status);
        EXPECT_EQ(session.prompts.shown.back().text, QStringLiteral("Отменено"));
        for (const auto& shown : session.prompts.shown)
            EXPECT_TRUE(shown.kind != Kind::Message && shown.kind != Kind::Error)
                << shown.text.toStdString();
    }

    TempFolder folder;
    QString path;
    uint64_t logs = 0;
    std::atomic<bool> armed{false}; // read on the connection's thread
};

TEST_F(Cancel, SelectAndTheListsLeaveTheirSlotsAsAFailureWould)
{
    for (const Stop stop : kStops) {
        SCOPED_TRACE(stopName(stop));
        // «Отобрать»: the dataset closed, the grid one blank column.
        auto session =
            login([](const QString& sql) { return sql.endsWith("order by ddate, sid"); });
        session->prompts.shown.clear();
        Stopper stopper{*session, stop, {}, {}, {}};
        stopper.arm();
        session->click("BitBtnSelect");
        expectCancelled(*session, stopper, "Отбор записей");
        // A statement counts its records; the window says so from the start.
        EXPECT_TRUE(stopper.text.startsWith(QStringLiteral("Прошло: 0:0")))
            << stopper.text.toStdString();
        EXPECT_TRUE(stopper.text.contains(QStringLiteral("\nЗаписей: ")))
            << stopper.text.toStdString();
        EXPECT_FALSE(session->data().mainDataset().isOpen());
        EXPECT_EQ(session->grid()->model()->columnCount(), 1);
        EXPECT_EQ(session->grid()->model()->rowCount(), 0);
    }
    // «Обновить фильтры»: the lists before the cancelled one keep their rows, it and the ones
    // after are closed.
    auto session = login([](const QString& sql) { return sql.endsWith("order by Oracle_User"); });
    LogDatabase& data = session->data();
    session->prompts.shown.clear();
    Stopper stopper{*session, Stop::Button, {}, {}, {}};
    stopper.arm();
    session->click("BitBtnRefresh");
    expectCancelled(*session, stopper, "Обновление фильтров");
    EXPECT_TRUE(data.dataset(DatasetRole::Table).isOpen());
    EXPECT_TRUE(data.dataset(DatasetRole::Action).isOpen());
    for (Dataset* dataset : {&data.dataset(DatasetRole::OracleUser), &data.dataset(DatasetRole::PC),
                             &data.dataset(DatasetRole::OSUser)})
        EXPECT_FALSE(dataset->isOpen()) << dataset->objectName().toStdString();
}

TEST_F(Cancel, DeletionsAndTheExportChangeNothing)
{
    for (const Stop stop : kStops) {
        SCOPED_TRACE(stopName(stop));
        auto session = login([](const QString& sql) {
            return sql.startsWith("delete") || sql.startsWith("Select * from LOG_TABLE where");
        });
        armed = false;
        session->click("BitBtnSelect");
        armed = true;
        const long long before = records();

        // Ctrl+Delete: the record and its row stay.
        session->prompts.shown.clear();
        Stopper stopper{*session, stop, {}, {}, {}};
        stopper.arm();
        const QList<int> shown = session->sids();
        session->deleteRow(3);
        expectCancelled(*session, stopper, "Удаление записей");
        EXPECT_EQ(records(), before);
        EXPECT_EQ(session->sids(), shown);
        // A statement without rows shows its time only, not the count of the last query.
        EXPECT_FALSE(stopper.text.contains(QStringLiteral("Записей")))
            << stopper.text.toStdString();

        // The period deletion: nothing deleted.
        session->prompts.shown.clear();
        stopper.arm();
        session->deletePeriod(Period{QDate(2025, 1, 1), QDate(2026, 12, 31)});
        expectCancelled(*session, stopper, "Удаление записей");
        EXPECT_EQ(records(), before);
        EXPECT_FALSE(stopper.text.contains(QStringLiteral("Записей")))
            << stopper.text.toStdString();

        // The export of a period: an existing file stays as it was.
        const QString file = folder.path(QStringLiteral("export.txt"));
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        session->prompts.shown.clear();
        stopper.arm();
        session->exportTo(file, Period{QDate(2025, 1, 1), QDate(2026, 12, 31)});
        expectCancelled(*session, stopper, "Выгрузка логов");
        EXPECT_EQ(fileBytes(file), "old");
    }
}

// A query abandoned after its cancel may go on for a while on the connection's thread (a
// driver that looks late, a lock that no cancel reaches); a deletion started meanwhile waits
// behind it. Cancelled there, it must never run once the query ends.
TEST_F(Cancel, ADeletionCancelledWhileItWaitsBehindAnAbandonedQueryNeverRuns)
{
    // The grid stays open behind an abandoned rebuild of the lists, not behind «Отобрать».
    const struct {
        const char* name;
        const char* abandon;
        const char* abandonedTitle;
        const char* blockedTail;
        std::function<void(Session&)> remove;
        bool realLock; // the query waits for a lock another connection holds, not a slow driver
    } cases[] = {
        {"Ctrl+Delete", "BitBtnRefresh", "Обновление фильтров", "order by stable",
         [](Session& s) { s.deleteRow(3); }, false},
        {"a period", "BitBtnSelect", "Отбор записей", "order by ddate, sid",
         [](Session& s) {
             s.deletePeriod(Period{QDate(2025, 1, 1), QDate(2026, 12, 31)});
         },
         false},
        {"the whole table", "BitBtnSelect", "Отбор записей", "order by ddate, sid",
         [](Session& s) { s.deletePeriod(std::nullopt); }, false},
        {"the whole table, locked file", "BitBtnSelect", "Отбор записей", "order by ddate, sid",
         [](Session& s) { s.deletePeriod(std::nullopt); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        path = makeDemoDatabase(folder, 300, ++logs);
        armed = false;
        const auto blocked = [&c](const QString& sql) {
            return sql.endsWith(QLatin1String(c.blockedTail));
        };
        Session session(folder.path(QStringLiteral("Login.ini")),
                        BlockingEngine::factory(
                            [this, &c, blocked](const QString& sql) {
                                return !c.realLock && armed.load() && blocked(sql);
                            },
                            std::chrono::milliseconds(2000), blocked));
        ASSERT_TRUE(session.login({path, QStringLiteral("LOG_TABLE")}));
        session.click("BitBtnSelect");
        const long long before = records();
        armed = true;

        sqlite3* holder = nullptr;
        if (c.realLock) {
            sqlite3_open(path.toUtf8().constData(), &holder);
            ASSERT_EQ(sqlite3_exec(holder, "begin exclusive", nullptr, nullptr, nullptr),
                      SQLITE_OK);
            // Released while the program still waits, as a backup that ends.
            QTimer::singleShot(2000, [&holder] {
                sqlite3_close(holder);
                holder = nullptr;
            });
        }
        session.prompts.shown.clear();
        Stopper stopper{session, Stop::Escape, {}, {}, {}};
        stopper.arm();
        session.click(c.abandon);
        expectCancelled(session, stopper, c.abandonedTitle);

        session.prompts.shown.clear();
        stopper.arm();
        c.remove(session);
        expectCancelled(session, stopper, "Удаление записей");

        // Once the query has ended and the lock has gone, the next statement runs at once.
        QTest::qWait(2200);
        EXPECT_EQ(holder, nullptr);
        armed = false;
        session.click("BitBtnSelect");
        EXPECT_EQ(records(), before);
        EXPECT_EQ(session.sids().size(), before);
        for (const auto& shown : session.prompts.shown)
            EXPECT_NE(shown.text, QStringLiteral("Записи успешно удалены!"));
    }
}

// The creation of a log table stopped at its last step: what was created stays, as after a
// failure of that step; the dialog stays and nothing is shown.
TEST_F(Cancel, ACreationStoppedKeepsTheStepsDone)
{
    const QString empty = makeDatabase(folder, QStringLiteral("empty.sqlite"));
    Session session(folder.path(QStringLiteral("Login.ini")),
                    BlockingEngine::factory([](const QString& sql) {
                        return sql.startsWith("create public synonym");
                    }));
    Stopper stopper{session, Stop::Button, {}, {}, {}};
    stopper.arm();
    EXPECT_FALSE(session.login({empty, QStringLiteral("NEW_LOG"), QStringLiteral("scott"),
                                QStringLiteral("tiger"), true}));
    EXPECT_EQ(stopper.title, QStringLiteral("Создание таблицы логов"));
    EXPECT_NE(session.dialog(), nullptr);
    EXPECT_FALSE(session.data().connection().connected());
    EXPECT_EQ(queryScalar(empty, "select count(*) from sqlite_schema where name = 'NEW_LOG'"), 1);
    for (const auto& shown : session.prompts.shown)
        EXPECT_NE(shown.kind, Kind::Message) << shown.text.toStdString();
}

// While Oracle's driver blocks inside one call, the progress window goes on repainting: its
// clock moves and it is redrawn many times a second.
TEST_F(Cancel, TheWindowRepaintsWhileTheDriverBlocksInOneCall)
{
    path = makeDemoDatabase(folder, 50);
    Session session(folder.path(QStringLiteral("Login.ini")),
                    BlockingEngine::factory(
                        [](const QString& sql) { return sql.endsWith("order by ddate, sid"); },
                        std::chrono::milliseconds(1600)));
    ASSERT_TRUE(session.login({path, QStringLiteral("LOG_TABLE")}));
    QStringList texts;
    int ticks = 0;
    session.progressWait().whileShown = [&](QWidget& window) {
        ++ticks;
        const QString text = window.findChild<QLabel*>("ProgressText")->text();
        if (texts.isEmpty() || texts.back() != text)
            texts << text;
    };
    QElapsedTimer clock;
    clock.start();
    session.click("BitBtnSelect");
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_GE(ticks, 10); // every 50 ms from 500 ms on
    EXPECT_TRUE(texts.filter("Прошло: 0:01").size() >= 1) << texts.join('|').toStdString();
    EXPECT_EQ(session.data().mainDataset().recordCount(), 50);
    session.progressWait().whileShown = {};
}

// A sort that the user cancels stops where it stands and leaves the order as it was.
TEST(CancelSort, ACancelledSortLeavesTheOrderAsItWas)
{
    TempFolder folder;
    LogDatabase data;
    data.connection().connect(localConnectionString(makeDemoDatabase(folder, 200000)));
    Dataset& dataset = data.mainDataset();
    dataset.setText(QStringLiteral("Select * from LOG_TABLE"));
    dataset.open();
    // Cancelled as soon as it starts: it must reach a cancellation point.
    struct Impatient : Waiter {
        void wait(Call& call) override
        {
            call.cancel();
            call.waitFinished();
        }
    } impatient;
    data.connection().setWaiter(&impatient);
    std::vector<uint32_t> before;
    for (int row = 0; row < dataset.recordCount(); ++row)
        before.push_back(dataset.rowAt(row));
    for (const char* field : {"SID", "DDATE", "SCHANGES"}) {
        EXPECT_THROW(dataset.sortBy(QString::fromLatin1(field)), Cancelled) << field;
        std::vector<uint32_t> after;
        for (int row = 0; row < dataset.recordCount(); ++row)
            after.push_back(dataset.rowAt(row));
        EXPECT_EQ(after, before) << field;
    }
    // A user who cancels gets the window back before the sort has stopped on the connection's
    // thread; closing and opening the dataset meanwhile must not pull its rows from under it.
    struct Hasty : Waiter {
        void wait(Call& call) override
        {
            call.cancel();
            while (!call.finished() && !call.abandoned())
                QThread::yieldCurrentThread();
        }
    } hasty;
    data.connection().setWaiter(&hasty);
    EXPECT_THROW(dataset.sortBy(QStringLiteral("SCHANGES")), Cancelled);
    data.connection().setWaiter(nullptr);
    dataset.close();
    dataset.open();
    EXPECT_EQ(dataset.recordCount(), 200000);
    dataset.sortBy(QStringLiteral("SID"));
    const int sid = dataset.rows().indexOf(QStringLiteral("SID"));
    for (int row = 1; row < 1000; ++row)
        ASSERT_LE(dataset.rows().integer(dataset.rowAt(row - 1), sid),
                  dataset.rows().integer(dataset.rowAt(row), sid));
}

} // namespace
} // namespace varnel::test
