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
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <optional>

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

// Another program's hold on the database file, as a backup or a writer takes one, let go after
// two seconds while the program still waits.
class FileHold {
public:
    FileHold(const QString& path, const char* take)
    {
        sqlite3_open(path.toUtf8().constData(), &m_db);
        EXPECT_EQ(sqlite3_exec(m_db, take, nullptr, nullptr, nullptr), SQLITE_OK);
        QTimer::singleShot(2000, [this] { release(); });
    }
    ~FileHold() { release(); }
    bool held() const { return m_db != nullptr; }

private:
    void release()
    {
        if (!m_db)
            return;
        sqlite3_exec(m_db, "commit", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    sqlite3* m_db = nullptr;
};

class Cancel : public ::testing::Test {
protected:
    // A session over a demo log whose statements that `blocks` picks, once logged in, wait
    // `delay` (ten seconds unless told) first.
    std::unique_ptr<Session> login(const std::function<bool(const QString&)>& blocks,
                                   std::chrono::milliseconds delay = std::chrono::seconds(10))
    {
        path = makeDemoDatabase(folder, 300, ++logs);
        armed = false;
        auto session = std::make_unique<Session>(
            folder.path(QStringLiteral("Login.ini")),
            BlockingEngine::factory(
                [this, blocks](const QString& sql) { return armed.load() && blocks(sql); }, delay));
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

// «Подсчитать» stopped leaves «—», not the count of an earlier press, and the next one runs.
// The window tells the time only: a count fetches no rows to count.
TEST_F(Cancel, ACountStoppedLeavesADash)
{
    for (const Stop stop : kStops) {
        SCOPED_TRACE(stopName(stop));
        auto session = login([](const QString& sql) { return sql.startsWith("select count(*)"); });
        const auto* label = session->find<QLabel>("LabelRecordCount");
        armed = false;
        EXPECT_EQ(session->countRecords(std::nullopt), QStringLiteral("В таблице: 300 записей"));
        armed = true;
        session->prompts.shown.clear();
        Stopper stopper{*session, stop, {}, {}, {}};
        stopper.arm();
        session->click("BitBtnCountRecords");
        expectCancelled(*session, stopper, "Подсчёт записей");
        EXPECT_FALSE(stopper.text.contains(QStringLiteral("Записей")))
            << stopper.text.toStdString();
        EXPECT_EQ(label->text(), QStringLiteral("В таблице: —"));
        armed = false;
        EXPECT_EQ(session->countRecords(std::nullopt), QStringLiteral("В таблице: 300 записей"));
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

        std::optional<FileHold> hold;
        if (c.realLock)
            hold.emplace(path, "begin exclusive");
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
        EXPECT_FALSE(hold && hold->held());
        armed = false;
        session.click("BitBtnSelect");
        EXPECT_EQ(records(), before);
        EXPECT_EQ(session.sids().size(), before);
        for (const auto& shown : session.prompts.shown)
            EXPECT_NE(shown.text, QStringLiteral("Записи успешно удалены!"));
    }
}

// A deletion that has done its work but waits to keep it, while a reader of the file (a
// backup) holds it, is undone by a cancel that comes meanwhile: nothing is deleted after
// «Отменено», even where the database cannot stop the statement itself.
TEST_F(Cancel, ADeletionCancelledWhileItWaitsToBeKeptIsUndone)
{
    const struct {
        const char* name;
        std::function<void(Session&)> remove;
    } cases[] = {
        {"Ctrl+Delete",
         [](Session& s) {
             s.deleteRow(3);
         }},
        {"a period",
         [](Session& s) {
             s.deletePeriod(Period{QDate(2025, 1, 1), QDate(2026, 12, 31)});
         }},
        {"the whole table",
         [](Session& s) {
             s.deletePeriod(std::nullopt);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = login([](const QString&) { return false; });
        session->click("BitBtnSelect");
        const long long before = records();
        const QList<int> shown = session->sids();
        FileHold hold(path, "begin; select count(*) from LOG_TABLE");
        session->prompts.shown.clear();
        Stopper stopper{*session, Stop::Escape, {}, {}, {}};
        stopper.arm();
        c.remove(*session);
        expectCancelled(*session, stopper, "Удаление записей");
        QTest::qWait(2200);
        EXPECT_FALSE(hold.held());
        EXPECT_EQ(records(), before);
        EXPECT_EQ(session->sids(), shown);
    }
}

// A close of the main window that comes while a deletion or an export waits for its statement
// (delivered at once, as the closing of every window at the end of a session is: before the
// progress window is up, or past it) and «Выход» pressed meanwhile wait for the statement: it
// runs to its end, or to «Отмена» in the progress window, what it did is told while the main
// window is still open, and only then does the window close and the connection go.
TEST_F(Cancel, ClosingTheMainWindowWaitsForTheStatementAndTellsItsOutcomeFirst)
{
    enum class Way { CloseBox, Exit };
    enum class When { BeforeTheWindow, WhileShown };
    const struct {
        const char* name;
        bool deletion; // or the export
        Way way;
        When when;
        bool cancel; // then «Отмена» in the progress window
    } cases[] = {
        {"deletion, close before the window", true, Way::CloseBox, When::BeforeTheWindow, false},
        {"deletion, close while it is shown", true, Way::CloseBox, When::WhileShown, false},
        {"deletion, Exit before the window", true, Way::Exit, When::BeforeTheWindow, false},
        {"deletion, Exit while it is shown", true, Way::Exit, When::WhileShown, false},
        {"deletion, close, then Cancel", true, Way::CloseBox, When::BeforeTheWindow, true},
        {"export, close before the window", false, Way::CloseBox, When::BeforeTheWindow, false},
        {"export, Exit while it is shown", false, Way::Exit, When::WhileShown, false},
        {"export, close, then Cancel", false, Way::CloseBox, When::WhileShown, true},
    };
    const QString file = folder.path(QStringLiteral("closing.txt"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Long enough for the progress window to show, short enough to run to its end.
        auto session = login(
            [](const QString& sql) {
                return sql.startsWith("delete") || sql.startsWith("Select * from LOG_TABLE");
            },
            std::chrono::milliseconds(800));
        MainWindow* window = session->window();
        Connection& connection = session->data().connection();
        const long long before = records();
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();

        bool closeAsked = false;
        const auto askToClose = [&] {
            closeAsked = true;
            if (c.way == Way::CloseBox)
                window->windowHandle()->close();
            else
                QTest::mouseClick(session->find<QPushButton>("BitBtnExit2"), Qt::LeftButton);
            EXPECT_TRUE(window->isVisible()) << "closed under the running statement";
        };
        QObject timers; // its timer dies with it, never reaching a later case
        if (c.when == When::BeforeTheWindow)
            QTimer::singleShot(100, &timers, askToClose);
        bool shown = false;
        session->progressWait().whileShown = [&](QWidget& progress) {
            if (shown)
                return;
            shown = true;
            if (c.when == When::WhileShown)
                askToClose();
            if (c.cancel)
                QTest::mouseClick(progress.findChild<QPushButton*>("ButtonCancel"), Qt::LeftButton);
        };
        // What the main window was when the outcome was told.
        QStringList toldWhileOpen;
        session->prompts.whileShown = [&](const ScriptedPrompts::Shown& told) {
            if (told.kind != Kind::SaveFile && told.kind != Kind::Confirm && window->isVisible() &&
                connection.connected())
                toldWhileOpen << told.text;
        };
        session->prompts.shown.clear();
        if (c.deletion)
            session->deletePeriod(std::nullopt);
        else
            session->exportTo(file);
        session->progressWait().whileShown = {};
        EXPECT_TRUE(closeAsked);
        EXPECT_TRUE(shown);

        QStringList told;
        if (c.cancel) {
            told = {QStringLiteral("Отменено")};
            EXPECT_EQ(records(), before);
            EXPECT_EQ(fileBytes(file), "old");
        } else if (c.deletion) {
            told = {QStringLiteral("Удалено записей: 300"),
                    QStringLiteral("Записи успешно удалены!")};
            EXPECT_EQ(records(), 0);
        } else {
            told = {QStringLiteral("Выгрузка логов завершена!")};
            EXPECT_TRUE(fileBytes(file).startsWith("-- Varnel 1.0.0. Unload Logs."));
            EXPECT_TRUE(fileBytes(file).contains("\r\n-- End - "));
            EXPECT_EQ(records(), before);
        }
        EXPECT_EQ(toldWhileOpen, told);
        // Then the window closes as asked, and the connection with it.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 3000));
        EXPECT_FALSE(connection.connected());
        session->prompts.whileShown = {};
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
