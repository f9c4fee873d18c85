// Hostile and faulty input driven through the whole program, from its start-up on: texts that
// statements and files must carry unchanged, names of log tables, database files that are
// missing, locked, read-only or broken, login histories that are not what the program wrote,
// a full disk and a million records. Each ends in a clear message with the program still
// running, and nothing lost or corrupted.

#include "app/mainwindow.h"
#include "base/ansicodepage.h"
#include "base/localetext.h"
#include "browse/dblookupcombobox.h"
#include "browse/loggrid.h"
#include "common/session.h"
#include "common/testsupport.h"
#include "db/logdatabase.h"
#include "login/core/historyfile.h"
#include "login/logindialog.h"
#include "ui/core/errortext.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <sqlite3.h>
#ifdef __linux__
#include <sys/mount.h>
#endif

#include <cerrno>
#include <chrono>
#include <optional>

namespace varnel::test {
namespace {

using Kind = ScriptedPrompts::Kind;

const QString kDbError = QStringLiteral("Ошибка подключения к базе данных!\n");
const QString kColumns =
    QStringLiteral("(sid NUMBER, ddate DATE, stable VARCHAR2(50), saction VARCHAR2(10), "
                   "schanges VARCHAR2(4000), suser_info VARCHAR2(100))");

// The texts that break statements and files written without care; each is a record's table,
// action, change text and the three parts of its user-info text, and is typed into every text
// field of the program.
struct Hostile {
    const char* name;
    QString text;
    // What the login history gives back as the first user; empty when it lists none.
    QString remembered;
    bool tableName = false; // a name Oracle takes for a table
};
const Hostile kHostile[] = {
    {"quote", QStringLiteral("O'Brien's"), QStringLiteral("O'Brien's")},
    {"double quote", QStringLiteral("say \"hi\""), QStringLiteral("say \"hi\"")},
    {"percent", QStringLiteral("100%"), QStringLiteral("100%")},
    {"underscore", QStringLiteral("a_b"), QStringLiteral("a_b"), true},
    // An entry of the history cannot hold ";", where it would end: such a text is not kept.
    {"second statement", QStringLiteral("x'; drop table LOGS; --"), QString()},
    {"line comment", QStringLiteral("y -- z"), QStringLiteral("y -- z")},
    {"block comment", QStringLiteral("/* w"), QStringLiteral("/* w")},
    // A line break would write lines of its own into the history: such an entry is left out.
    {"line feed", QStringLiteral("one\ntwo"), QString()},
    {"carriage return", QStringLiteral("one\rtwo"), QString()},
    {"CR LF", QStringLiteral("one\r\ntwo"), QString()},
    // Longer than the history's read buffer: the first entry no longer fits in it.
    {"4000 characters", QString(4000, QChar(0x416)), QString(), true},
    {"Cyrillic", QStringLiteral("Склад №5"), QStringLiteral("Склад №5")},
    // The history quotes a value with blanks around it, so that they come back.
    {"blanks only", QStringLiteral("   "), QStringLiteral("   ")},
    {"control characters", QStringLiteral("a\tb\u0001c\u001bd\u007f"),
     QStringLiteral("a\tb\u0001c\u001bd\u007f")},
};

// A log of one record for every hostile text, sids 1, 2, ..., each column holding it (the
// user-info text three times), and two ordinary ones; returns the records' sids and texts.
QList<std::pair<int, QString>> hostileLog(const QString& path)
{
    QList<std::pair<int, QString>> records;
    int sid = 0;
    for (const Hostile& h : kHostile)
        records.append({++sid, h.text});
    records.append({100, QStringLiteral("ORDERS")});
    records.append({101, QStringLiteral("ivanov")});
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, (QStringLiteral("create table LOGS") + kColumns).toUtf8().constData(), nullptr,
                 nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into LOGS values (?1, '2025-03-01 10:' || ?3 || ':00', ?2, ?2, ?2, "
                       "?2 || ' - ' || ?2 || ' - ' || ?2)",
                       -1, &insert, nullptr);
    for (const auto& [number, text] : records) {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_int(insert, 1, number);
        sqlite3_bind_int(insert, 3, 10 + number % 50);
        sqlite3_bind_text(insert, 2, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_close(db);
    return records;
}

// Whether the change text `text` passes the change-text filter with `typed` at `position`, as
// far as a LIKE without wildcards tells.
bool passes(const QString& text, const QString& typed, int position)
{
    const QString t = text.toUpper(), v = typed.toUpper();
    return position == 0 ? t.startsWith(v) : position == 1 ? t.contains(v) : t.endsWith(v);
}

bool hasWildcard(const QString& text)
{
    return text.contains(u'%') || text.contains(u'_');
}

class Hostility : public ::testing::Test {
protected:
    QStringList errors(const Session& s) const
    {
        QStringList texts;
        for (const auto& shown : s.prompts.shown)
            if (shown.kind == Kind::Error || shown.text.startsWith(kDbError))
                texts << shown.text;
        return texts;
    }

    TempFolder folder;
    QString history = folder.path(QStringLiteral("Login.ini"));
};

// Every hostile text as the user, the password and in the database's file name, and in the
// table field, where no such text may pass.
TEST_F(Hostility, HostileTextsInTheLoginFieldsConnectAndAreRememberedOrRefused)
{
    const QString log = folder.path(QStringLiteral("hostile.sqlite"));
    hostileLog(log);
    for (const Hostile& h : kHostile) {
        SCOPED_TRACE(h.name);
        QFile::remove(history);
        // A file name holds no "/": it makes a folder, and no part of a path may be longer than
        // 255 bytes.
        const QString base =
            folder.path(QStringLiteral("db ") + h.text + QStringLiteral(".sqlite"));
        QDir().mkpath(QFileInfo(base).path());
        const bool nameFits = QFile::copy(log, base);
        {
            Session s(history);
            EXPECT_FALSE(s.login({base, h.text, h.text, h.text}));
            if (h.tableName) {
                ASSERT_EQ(s.prompts.shown.size(), 1u);
                EXPECT_TRUE(s.prompts.shown[0].text.startsWith(kDbError));
            } else {
                EXPECT_EQ(s.prompts.texts(),
                          QStringList{"Неверное имя таблицы логов: «" + h.text + "»"});
            }
            EXPECT_FALSE(s.data().connection().connected());
            s.prompts.shown.clear();
            EXPECT_EQ(s.login({base, QStringLiteral("LOGS"), h.text, h.text}), nameFits);
            if (!nameFits) {
                ASSERT_EQ(s.prompts.shown.size(), 1u);
                EXPECT_TRUE(s.prompts.shown[0].text.startsWith(
                    kDbError + QStringLiteral("Cannot open the database file")))
                    << s.prompts.shown[0].text.toStdString();
                continue;
            }
            // The dialog stored the history as it closed.
            EXPECT_TRUE(s.prompts.shown.empty()) << s.prompts.texts().join('|').toStdString();
        }
        // The next start shows what the history kept.
        Session next(history);
        QComboBox* users = next.find<QComboBox>("ComboBox_User");
        EXPECT_EQ(users->count() > 0 ? users->itemText(0) : QString(), h.remembered);
        EXPECT_EQ(next.find<QComboBox>("ComboBox_Table")->currentText(), QStringLiteral("LOGS"));
    }
}

// Every entry that a list offers, chosen, finds its records; every hostile change text finds
// its record at each position; sorting, the export and Ctrl+Delete carry every text unchanged.
TEST_F(Hostility, HostileTextsInEveryFilterFindTheirRecordsAndSurviveEveryStatement)
{
    const QString base = folder.path(QStringLiteral("hostile.sqlite"));
    const QList<std::pair<int, QString>> records = hostileLog(base);
    Session s(history);
    ASSERT_TRUE(s.login({base, QStringLiteral("LOGS")}));
    const auto recordsWhere = [&](const std::function<bool(const QString&)>& test) {
        QList<int> sids;
        for (const auto& [sid, text] : records)
            if (test(text))
                sids << sid;
        return sids;
    };
    const auto sorted = [](QList<int> sids) {
        std::sort(sids.begin(), sids.end());
        return sids;
    };

    // The table and action lists compare for equality; the user-info lists match a pattern
    // whose % and _ stay wildcards. A record holds its text in every column.
    using Holds = std::function<bool(const QString& text, const QString& entry)>;
    const Holds same = [](const QString& t, const QString& e) {
        return t.toUpper() == e;
    };
    const auto info = [](const QString& t) {
        return (t + " - " + t + " - " + t).toUpper();
    };
    const std::pair<const char*, Holds> lists[] = {
        {"DBLookupComboBoxTable", same},
        {"DBLookupComboBoxAction", same},
        {"DBLookupComboBoxOracleUser",
         [&](auto& t, auto& e) {
             return info(t).endsWith(e);
         }},
        {"DBLookupComboBoxPC",
         [&](auto& t, auto& e) {
             return info(t).contains(e);
         }},
        {"DBLookupComboBoxOSUser",
         [&](auto& t, auto& e) {
             return info(t).startsWith(e);
         }},
    };
    for (const auto& [list, holds] : lists) {
        for (const QString& entry : s.entries(list)) {
            if (entry.isEmpty())
                continue;
            SCOPED_TRACE(::testing::Message() << list << " " << entry.left(40).toStdString());
            ASSERT_TRUE(s.choose(list, entry));
            s.click("BitBtnSelect");
            const QList<int> shown = sorted(s.sids());
            EXPECT_FALSE(shown.isEmpty());
            if (!hasWildcard(entry)) {
                EXPECT_EQ(shown, recordsWhere([&, &holds = holds](const QString& t) {
                              return holds(t, entry);
                          }));
            }
            s.click("BitBtnClearFiltr");
        }
    }

    QLineEdit* changes = s.find<QLineEdit>("EditChanges");
    const char* positions[] = {"RadioGroupChangesItem0", "RadioGroupChangesItem1",
                               "RadioGroupChangesItem2"};
    int sid = 0;
    for (const Hostile& h : kHostile) {
        ++sid;
        for (int position = 0; position < 3; ++position) {
            SCOPED_TRACE(::testing::Message() << h.name << " at " << position);
            s.find<QRadioButton>(positions[position])->setChecked(true);
            QApplication::clipboard()->setText(h.text);
            changes->setFocus();
            changes->selectAll();
            QTest::keyClick(changes, Qt::Key_V, Qt::ControlModifier);
            ASSERT_EQ(changes->text(), h.text);
            QTest::keyClick(changes, Qt::Key_Return);
            const QList<int> shown = sorted(s.sids());
            EXPECT_TRUE(shown.contains(sid));
            if (!hasWildcard(h.text)) {
                const QString typed = h.text;
                EXPECT_EQ(shown, recordsWhere(
                                     [&](const QString& t) { return passes(t, typed, position); }));
            }
        }
    }

    s.click("BitBtnClearFiltr");
    s.click("BitBtnSelect");
    const QList<int> all = sorted(s.sids());
    for (const char* field : {"STABLE", "SACTION", "SCHANGES", "SUSER_INFO", "DDATE"}) {
        s.titleClick(QLatin1String(field));
        EXPECT_EQ(sorted(s.sids()), all) << field;
    }

    // A record line is its texts as they are, each line break ending a line of the file.
    const QString exported = folder.path(QStringLiteral("export.txt"));
    s.exportTo(exported);
    const QByteArray file = fileBytes(exported);
    const LocaleText locale = LocaleText::current();
    for (const auto& [number, text] : records) {
        const QString date = locale.dateTimeText(QDate(2025, 3, 1), QTime(10, 10 + number % 50));
        QString line = date + " - " + text + " - " + text + " - " + text + " - " + text + " - " +
                       text + " - " + text;
        line.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
        line.replace(QLatin1String("\n"), QLatin1String("\r\n"));
        EXPECT_TRUE(file.contains("\r\n" + toAnsi(line) + "\r\n")) << number;
    }

    // Each record goes by Ctrl+Delete, and only it.
    long long left = records.size();
    for (const auto& [number, text] : records) {
        s.deleteRow(int(s.sids().indexOf(number)));
        EXPECT_EQ(queryScalar(base, QStringLiteral("select count(*) from LOGS")), --left);
        EXPECT_EQ(queryScalar(
                      base, QStringLiteral("select count(*) from LOGS where sid = %1").arg(number)),
                  0);
    }
    EXPECT_EQ(errors(s), QStringList());
}

TEST_F(Hostility, TextsThatNameNoTableAreRefusedBeforeTheDatabaseIsOpened)
{
    const QString base = makeDatabase(folder, QStringLiteral("log.sqlite"),
                                      {QStringLiteral("create table LOGS") + kColumns});
    const QString refused[] = {
        "LOGS; drop table LOGS",
        "LOGS;",
        "LOGS --",
        "LOGS /* x */",
        "/* x */ LOGS",
        "LOGS where 1=1",
        "LOGS x",
        "(select * from LOGS)",
        "\"LOGS",
        "\"\"",
        "\"A\"\"B\"",
        "LOGS\ndrop table x",
        "LOGS\x01",
        "main.",
        ".LOGS",
        "LOGS@",
        "1LOGS",
        "\t",
    };
    int opened = 0;
    Session s(history, [&opened](const QString& connectionString, const LocaleText& locale) {
        ++opened;
        return Connection::openEngine(connectionString, locale);
    });
    for (const QString& table : refused) {
        SCOPED_TRACE(table.toStdString());
        s.prompts.shown.clear();
        EXPECT_FALSE(s.login({base, table}));
        EXPECT_EQ(s.prompts.texts(),
                  QStringList{QStringLiteral("Неверное имя таблицы логов: «") + table + "»"});
        EXPECT_EQ(opened, 0);
    }
}

// Schema-qualified, quoted with blanks, Cyrillic, with "#": created at login, written by an
// outside program, then through the lists, the main query, the sort, Ctrl+Delete, the export
// and the period deletion, and read by the probe of a later login.
TEST_F(Hostility, UnusualTableNamesWorkThroughEveryStatement)
{
    const QString names[] = {"main.LOG_TABLE", "\"Log table\"", "ЖУРНАЛ_ИЗМЕНЕНИЙ", "LOG#1",
                             "main.\"Журнал #2\""};
    const LocaleText locale = LocaleText::current();
    int databases = 0;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString base =
            makeDatabase(folder, QStringLiteral("names%1.sqlite").arg(++databases));
        const QString exported = folder.path(QStringLiteral("names.txt"));
        {
            Session s(history);
            ASSERT_TRUE(s.login({base, name, "scott", "tiger", true}));
            EXPECT_EQ(s.prompts.texts(),
                      QStringList({"Вы действительно хотите создать таблицу логов \"" +
                                       locale.upper(name) + "\"?",
                                   "Таблица логов \"" + locale.upper(name) + "создана!"}));
            s.prompts.shown.clear();
            s.data().connection().engine().execute(
                "insert into " + name +
                " values (1, '2025-03-01 10:00:00', 'ORDERS', 'INSERT', 'c', 'P - W - A'), "
                "(2, '2025-03-02 10:00:00', 'CLIENTS', 'INSERT', 'd', 'P - W - A'), "
                "(3, '2025-04-01 10:00:00', 'ORDERS', 'UPDATE', 'b', 'P - W - A'), "
                "(4, '2025-05-01 10:00:00', 'ORDERS', 'DELETE', 'a', 'P - W - A')");
            s.click("BitBtnRefresh");
            EXPECT_EQ(s.entries("DBLookupComboBoxTable"), QStringList({"CLIENTS", "ORDERS", ""}));
            ASSERT_TRUE(s.choose("DBLookupComboBoxTable", QStringLiteral("ORDERS")));
            EXPECT_EQ(s.entries("DBLookupComboBoxAction"),
                      QStringList({"DELETE", "INSERT", "UPDATE", ""}));
            s.click("BitBtnSelect");
            EXPECT_TRUE(s.data().mainDataset().getText().startsWith("Select * from " + name +
                                                                    " where 1=1 "));
            EXPECT_EQ(s.sids(), QList<int>({1, 3, 4}));
            s.titleClick(QStringLiteral("SCHANGES"));
            EXPECT_EQ(s.sids(), QList<int>({4, 3, 1}));
            s.deleteRow(0);
            EXPECT_EQ(s.sids(), QList<int>({3, 1}));
            s.exportTo(exported);
            const QList<QByteArray> lines = fileBytes(exported).split('\n');
            EXPECT_EQ(lines.value(2), toAnsi("-- Select * from " + name) + "\r");
            EXPECT_EQ(lines.size(), 10); // 6 lines of the block, 3 records, and after the end
            s.deletePeriod(Period{QDate(2025, 3, 1), QDate(2025, 3, 2)});
            EXPECT_EQ(s.prompts.texts().filter(QStringLiteral("!")),
                      QStringList({"Выгрузка логов завершена!", "Записи успешно удалены!"}));
            // Delete record?, the file name, the question of the period deletion, the two
            // messages and the two counts of the status line: no error.
            EXPECT_EQ(s.prompts.shown.size(), 7u) << s.prompts.texts().join('|').toStdString();
        }
        Session later(history);
        ASSERT_TRUE(later.login({base, name}));
        later.click("BitBtnSelect");
        EXPECT_EQ(later.sids(), QList<int>({2, 3}));
        EXPECT_TRUE(later.prompts.shown.empty()) << later.prompts.texts().join('|').toStdString();
    }
}

// Another connection to the file, holding a transaction open as a program that writes the log
// may; the busy engine waits for it (five seconds in the program) before it gives up.
class Holder {
public:
    Holder(const QString& path, const char* begin)
    {
        sqlite3_open(path.toUtf8().constData(), &m_db);
        sqlite3_exec(m_db, begin, nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, "delete from LOG_TABLE where sid = 1", nullptr, nullptr, nullptr);
    }
    ~Holder()
    {
        sqlite3_exec(m_db, "rollback", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
    }
    bool commit() { return sqlite3_exec(m_db, "commit", nullptr, nullptr, nullptr) == SQLITE_OK; }

private:
    sqlite3* m_db = nullptr;
};

// A database file broken before the login, and how the program meets it.
struct FaultyFile {
    const char* name;
    std::function<void(const QString& path)> breakIt;
    // The engine's message of a failed login; empty when the login passes.
    QString atLogin;
    // Then the database's message for Ctrl+Delete and for the period deletion, which fail;
    // the main query and the export pass.
    QString atDeletion;
};

class FaultyFiles : public Hostility {
protected:
    void meet(const FaultyFile& c)
    {
        SCOPED_TRACE(c.name);
        QFile::remove(base);
        ASSERT_TRUE(QFile::copy(demo, base));
        c.breakIt(base);
        const QByteArray before = fileBytes(base);
        Session s(history, engines);
        if (!c.atLogin.isEmpty()) {
            EXPECT_FALSE(s.login({base, QStringLiteral("LOG_TABLE")}));
            EXPECT_EQ(s.prompts.texts(), QStringList{kDbError + "Cannot open the database file \"" +
                                                     base + "\": " + c.atLogin});
            EXPECT_EQ(fileBytes(base), before);
            // The program goes on: once the file is good again, the same login passes.
            holder.reset();
            QFile::remove(base);
            ASSERT_TRUE(QFile::copy(demo, base));
            EXPECT_TRUE(s.login({base, QStringLiteral("LOG_TABLE")}));
            return;
        }
        ASSERT_TRUE(s.login({base, QStringLiteral("LOG_TABLE")}));
        s.click("BitBtnSelect");
        EXPECT_EQ(s.sids().size(), 300);
        s.prompts.shown.clear();
        s.deleteRow(0);
        s.deletePeriod(std::nullopt);
        s.exportTo(folder.path(QStringLiteral("export.txt")));
        EXPECT_EQ(errors(s), QStringList({withFullStop(c.atDeletion), kDbError + c.atDeletion}));
        EXPECT_TRUE(s.prompts.texts().contains(QStringLiteral("Выгрузка логов завершена!")));
        EXPECT_EQ(s.sids().size(), 300);
        EXPECT_EQ(fileBytes(base), before);
    }

    QString demo = makeDemoDatabase(folder, 300, 3);
    QString base = folder.path(QStringLiteral("faulty.sqlite"));
    std::optional<Holder> holder;
    Connection::EngineFactory engines; // empty: the program's own
};

// The program's engines, giving up on a locked file after a tenth of a second instead of five
// seconds: the same failure, sooner.
Connection::EngineFactory impatientEngines()
{
    return [](const QString& connectionString, const LocaleText& locale) {
        return Connection::openEngine(connectionString, locale, std::chrono::milliseconds(100));
    };
}

TEST_F(FaultyFiles, AMissingReadOnlyOrBrokenFileIsReportedAndLeftAsItIs)
{
    auto cut = [this](qint64 size) {
        return [size, this](const QString& path) {
            QFile file(path);
            EXPECT_TRUE(file.resize(size < 0 ? QFileInfo(demo).size() + size : size));
        };
    };
    auto overwrite = [](qint64 at, const QByteArray& bytes) {
        return [at, bytes](const QString& path) {
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::ReadWrite));
            file.seek(at);
            file.write(bytes);
        };
    };
    const FaultyFile cases[] = {
        {"missing", [](const QString& path) { QFile::remove(path); },
         "unable to open database file", ""},
        {"not a database", overwrite(0, QByteArray(5000, 'x')), "file is not a database", ""},
        {"cut after its first page", cut(4096), "database disk image is malformed", ""},
        {"cut in half", cut(QFileInfo(demo).size() / 2), "database disk image is malformed", ""},
        {"its last page cut", cut(-4096), "database disk image is malformed", ""},
        // A header asking for a newer SQLite to write the file makes it read-only.
        {"read-only", overwrite(18, "\x03"), "", "attempt to write a readonly database"},
    };
    for (const FaultyFile& c : cases)
        meet(c);
}

// Locked by another connection that holds its transaction open; each statement that meets the
// lock waits for it until the engine gives up.
TEST_F(FaultyFiles, AFileLockedByAnotherWriterIsReportedAtTheLogin)
{
    engines = impatientEngines();
    meet({"locked", [this](const QString& path) { holder.emplace(path, "begin exclusive"); },
          "ORA-00054: resource busy (database is locked)", ""});
}

TEST_F(FaultyFiles, AFileWithAnotherWritersTransactionOpenRefusesOnlyTheDeletions)
{
    engines = impatientEngines();
    meet({"write-locked", [this](const QString& path) { holder.emplace(path, "begin immediate"); },
          "", "ORA-00054: resource busy (database is locked)"});
    // The failed deletions left no lock of their own behind: the other writer can commit.
    EXPECT_TRUE(holder->commit());
}

// The file goes or changes while the main window shows its records: every operation then says
// so, the program goes on, and no other file is touched.
TEST_F(FaultyFiles, AFileDeletedOrReplacedUnderTheOpenWindowGivesAnErrorForEveryOperation)
{
    const QString other = makeDemoDatabase(folder, 20, 4);
    const QString exported = folder.path(QStringLiteral("export.txt"));
    const QString gone =
        "The database file \"" + base + "\" has been deleted or replaced since it was opened";
    const struct {
        const char* name;
        std::function<void()> change;
        QString message;
    } cases[] = {
        {"deleted", [this] { QFile::remove(base); }, gone},
        {"replaced by another database",
         [&] {
             QFile::remove(base);
             QFile::copy(other, base);
         },
         gone},
        {"overwritten with text",
         [this] {
             QFile file(base);
             EXPECT_TRUE(file.open(QIODevice::WriteOnly));
             file.write(QByteArray(10000, 'x'));
         },
         "file is not a database"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(base);
        QFile::remove(exported);
        ASSERT_TRUE(QFile::copy(demo, base));
        Session s(history);
        ASSERT_TRUE(s.login({base, QStringLiteral("LOG_TABLE")}));
        s.click("BitBtnSelect");
        c.change();
        const QByteArray after = fileBytes(base);
        const QString error = withFullStop(c.message);
        const struct {
            const char* operation;
            std::function<void()> act;
            QString shown;
        } operations[] = {
            {"Ctrl+Delete", [&] { s.deleteRow(0); }, error},
            {"Отобрать", [&] { s.click("BitBtnSelect"); }, error},
            {"a title click", [&] { s.titleClick(QStringLiteral("STABLE")); },
             "ADOQueryMain: Cannot perform this operation on a closed dataset."},
            {"Обновить фильтры", [&] { s.click("BitBtnRefresh"); }, error},
            {"the period deletion", [&] { s.deletePeriod(std::nullopt); }, kDbError + c.message},
            {"the export", [&] { s.exportTo(exported); }, error},
        };
        for (const auto& o : operations) {
            s.prompts.shown.clear();
            o.act();
            EXPECT_EQ(errors(s), QStringList{o.shown}) << o.operation;
        }
        EXPECT_TRUE(s.window()->isVisible());
        EXPECT_EQ(s.grid()->model()->rowCount(), 0);
        EXPECT_EQ(fileBytes(exported), "<no file>");
        EXPECT_EQ(fileBytes(base), after);
    }
}

// A small file system of its own (tmpfs) on a new folder, where the machine lets the tests mount
// one: root may write anywhere, but not beyond a full or read-only file system.
class ScratchMount {
public:
    ScratchMount(const QString& dir, int kilobytes) : m_dir(dir)
    {
        QDir().mkpath(dir);
        // Straight through the system call: a child process (mount(8)) would leave the
        // sanitizers' picture of this process's threads in disorder. Linux only: elsewhere
        // nothing is mounted and the tests that need it skip.
#ifdef __linux__
        m_mounted = ::mount("tmpfs", path(), "tmpfs", 0,
                            QStringLiteral("size=%1k").arg(kilobytes).toLatin1().constData()) == 0;
#else
        Q_UNUSED(kilobytes);
#endif
    }
    ~ScratchMount()
    {
#ifdef __linux__
        if (m_mounted)
            ::umount2(path(), MNT_DETACH);
#endif
    }
    bool mounted() const
    {
        return m_mounted;
    }
    bool makeReadOnly()
    {
#ifdef __linux__
        return ::mount(nullptr, path(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
#else
        return false;
#endif
    }

private:
    const char* path()
    {
        m_path = QFile::encodeName(m_dir);
        return m_path.constData();
    }

    QString m_dir;
    QByteArray m_path;
    bool m_mounted = false;
};

// The system's text for an error, in the language of the user's locale, ended as shown.
QString systemReason(int error)
{
    return qt_error_string(error) + u'.';
}

QByteArray garbage(int bytes)
{
    QByteArray data;
    uint32_t state = 12345;
    for (int i = 0; i < bytes; ++i) {
        state = state * 1103515245u + 12345u;
        data += char(state >> 24);
    }
    return data;
}

// Login histories that this program did not write: each is read as far as it makes sense, and
// the dialog's save, when the program ends without a login, changes the three keys and nothing
// else.
TEST_F(Hostility, LoginHistoriesTheProgramDidNotWriteLoseNothingButTheirThreeKeys)
{
    const QByteArray big = "[Login]\r\nUser=" + QByteArray("abc;").repeated(1 << 18) +
                           "\r\nBase=b1;\r\n[Other]\r\nk=v\r\n";
    const QByteArray junk = garbage(4096);
    const QByteArray added = "[Login]\r\nUser=;\r\nBase=;\r\nTable=;\r\n";
    const struct {
        const char* name;
        QByteArray before;
        QStringList users;
        QByteArray after;
    } cases[] = {
        {"no section", "User=a;b;\r\nBase=x;", {}, "User=a;b;\r\nBase=x;\r\n" + added},
        // A last line without its line end gets one before the section is added.
        {"binary garbage", junk, {}, junk + (junk.endsWith('\n') ? "" : "\r\n") + added},
        {"duplicate sections",
         "[Login]\r\nUser=a;\r\n[login]\r\nUser=b;\r\nTable=t;\r\n",
         {"a"},
         "[Login]\r\nUser=a;\r\nBase=;\r\nTable=;\r\n[login]\r\nUser=b;\r\nTable=t;\r\n"},
        // Read through a buffer of 2047 characters: 511 entries, of which the save keeps five.
        {"a value of 1 MB", big, QStringList(511, "abc"),
         "[Login]\r\nUser=abc;abc;abc;abc;abc;\r\nBase=b1;\r\nTable=;\r\n[Other]\r\nk=v\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile file(history);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.before);
        file.close();
        {
            Session s(history);
            QComboBox* users = s.find<QComboBox>("ComboBox_User");
            QStringList items;
            for (int i = 0; i < users->count(); ++i)
                items << users->itemText(i);
            EXPECT_EQ(items, c.users);
        }
        EXPECT_EQ(fileBytes(history), c.after);
    }
}

TEST_F(Hostility, AHistoryThatCannotBeReadIsReportedWhenSavedAndLeftAsItIs)
{
    // A folder where the file should be: it cannot be read, and root cannot write it either.
    ASSERT_TRUE(QDir().mkpath(history));
    QFile keep(history + QStringLiteral("/keep.txt"));
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.write("kept");
    keep.close();
    {
        Session s(history);
        EXPECT_EQ(s.find<QComboBox>("ComboBox_User")->count(), 0);
        EXPECT_TRUE(s.prompts.shown.empty());
        s.find<QComboBox>("ComboBox_User")->setEditText(QStringLiteral("scott"));
        delete s.dialog(); // the end of the program
        EXPECT_EQ(s.prompts.texts(), QStringList{QStringLiteral("Не удалось записать файл \"") +
                                                 QDir::toNativeSeparators(history) +
                                                 QStringLiteral("\". Это папка.")});
    }
    EXPECT_TRUE(QFileInfo(history).isDir());
    EXPECT_EQ(fileBytes(keep.fileName()), "kept");
}

// The history where it cannot be saved: in a read-only folder, and on a full disk. The dialog
// reads it, the login goes on, and the refused save, as the dialog closes, is said.
TEST_F(Hostility, AHistoryThatCannotBeSavedIsKeptAndTheSaveReported)
{
    const QString dir = folder.path(QStringLiteral("ro"));
    ScratchMount mount(dir, 64);
    if (!mount.mounted())
        GTEST_SKIP() << "this machine lets no test mount a file system";
    const QString inFolder = dir + QStringLiteral("/Login.ini");
    const QByteArray before = "[Login]\r\nUser=u1;u2;\r\nBase=b;\r\n";
    {
        QFile file(inFolder);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(before);
    }
    ASSERT_TRUE(mount.makeReadOnly());
    // The program keeps its history elsewhere when its own folder cannot be written.
    EXPECT_EQ(historyFilePath(dir, folder.path(QStringLiteral("config"))),
              folder.path(QStringLiteral("config/Login.ini")));

    const QString full = folder.path(QStringLiteral("full"));
    ScratchMount fullMount(full, 64);
    ASSERT_TRUE(fullMount.mounted());
    const QString onFullDisk = full + QStringLiteral("/Login.ini");
    {
        QFile file(onFullDisk);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(before + "[Other]\r\nkey=kept\r\n");
        file.close();
        QFile filler(full + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(1024, 'f')) == 1024 && filler.flush()) {
        }
    }

    // The program's words, with the system's reason.
    const QString base = makeDemoDatabase(folder, 20);
    for (const auto& [path, reason] :
         {std::pair(inFolder, systemReason(EROFS)), std::pair(onFullDisk, systemReason(ENOSPC))}) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray kept = fileBytes(path);
        Session s(path);
        EXPECT_EQ(s.find<QComboBox>("ComboBox_User")->currentText(), QStringLiteral("u1"));
        EXPECT_TRUE(s.login({base, QStringLiteral("LOG_TABLE"), QStringLiteral("u2")}));
        EXPECT_EQ(s.prompts.texts(),
                  QStringList{QStringLiteral("Не удалось записать файл \"") +
                              QDir::toNativeSeparators(path) + QStringLiteral("\". ") + reason});
        EXPECT_EQ(fileBytes(path), kept);
    }
}

QStringList itemsOf(const QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

#ifndef Q_OS_WIN
// Not on Windows, where links are an administrator's and QFile::link makes a shortcut.
// A link in the history's place, planted before the start or while the dialog is open, leads
// nowhere: nothing is read through it, the file it names keeps its bytes or is never made, the
// link stays, and the refused save names the file. Beside the program, such a name sends the
// history to the configuration folder.
TEST_F(Hostility, ALinkInPlaceOfTheHistoryIsNeverFollowed)
{
    const QString target = folder.path(QStringLiteral("target.ini"));
    const QByteArray before = "[Login]\r\nUser=root;\r\n";
    const struct {
        const char* name;
        QString linkTo;
        bool planted; // while the dialog is open, over the history it read
    } cases[] = {
        {"a link to a file", target, false},
        {"a dangling link", folder.path(QStringLiteral("made.ini")), false},
        {"a link planted after the load", target, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(history);
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(before);
        file.close();
        if (!c.planted) {
            ASSERT_TRUE(QFile::link(c.linkTo, history));
        } else {
            ASSERT_TRUE(QFile::copy(target, history));
        }
        EXPECT_EQ(historyFilePath(folder.path(QString()), folder.path(QStringLiteral("config"))),
                  c.planted ? history : folder.path(QStringLiteral("config/Login.ini")));
        Session s(history);
        EXPECT_EQ(itemsOf(s.find<QComboBox>("ComboBox_User")),
                  c.planted ? QStringList{"root"} : QStringList{});
        if (c.planted) {
            ASSERT_TRUE(QFile::remove(history) && QFile::link(c.linkTo, history));
        }
        s.find<QComboBox>("ComboBox_User")->setEditText(QStringLiteral("scott"));
        delete s.dialog();
        EXPECT_EQ(s.prompts.texts(), QStringList{QStringLiteral("Не удалось записать файл \"") +
                                                 QDir::toNativeSeparators(history) +
                                                 QStringLiteral("\". Это символическая ссылка.")});
        EXPECT_EQ(QFileInfo(history).symLinkTarget(), c.linkTo);
        EXPECT_EQ(fileBytes(target), before);
        EXPECT_FALSE(QFileInfo::exists(folder.path(QStringLiteral("made.ini"))));
    }
}
#endif

// Texts that the history file cannot give back as they were typed (a ";" splits one in two, a
// character the code page lacks comes back as "?", one longer than the read buffer cuts off
// the rest) are not remembered; the other entries are.
TEST_F(Hostility, TextsTheHistoryCannotHoldAreLeftOutAndTheRestRemembered)
{
    VARNEL_SKIP_UNLESS_WINDOWS_1251();
    const struct {
        const char* list;
        QString typed;
        QStringList remembered;
    } cases[] = {
        {"ComboBox_User", QStringLiteral("ivan;petrov"), {"u1", "u2"}},
        {"ComboBox_User", QStringLiteral("José"), {"u1", "u2"}},
        {"ComboBox_User", QString(3000, u'u'), {"u1", "u2"}},
        {"ComboBox_Base", QStringLiteral("/tmp/é.sqlite"), {"b1"}},
        {"ComboBox_Base", QStringLiteral("/tmp/日本.sqlite"), {"b1"}},
        {"ComboBox_Table", QStringLiteral("LOG😀"), {"t1"}},
        // Typed over the first entry, which it takes the place of.
        {"ComboBox_User", QStringLiteral("Пётр №5"), {QStringLiteral("Пётр №5"), "u2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.left(20).toStdString());
        QFile file(history);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Login]\r\nUser=u1;u2;\r\nBase=b1;\r\nTable=t1;\r\n");
        file.close();
        {
            Session s(history);
            s.find<QComboBox>(c.list)->setEditText(c.typed);
        }
        Session next(history);
        EXPECT_EQ(itemsOf(next.find<QComboBox>(c.list)), c.remembered);
        EXPECT_TRUE(next.prompts.shown.empty());
    }
}

// Two runs of the program at once, each with the history it read at its start: the one that
// closes last keeps the other's login, most recent first, five at most. Each types its user
// over the first entry, as the dialog opens, or chooses one of its list.
TEST_F(Hostility, TwoRunsAtOnceKeepBothLogins)
{
    struct Run {
        QString typed;
        int chosen = -1;
    };
    const struct {
        const char* name;
        QByteArray before;
        Run first, second;
        QString after;
    } cases[] = {
        {"both type", "", {"first"}, {"second"}, "second;first;"},
        {"both type over a full list", "a;b;c;d;e;", {"first"}, {"second"}, "second;first;b;c;d;"},
        {"the second chooses", "a;b;c;", {"first"}, {{}, 1}, "b;first;c;"},
        {"both choose the same", "a;b;c;", {{}, 1}, {{}, 1}, "b;a;c;"},
    };
    const auto close = [](Session& s, const Run& run) {
        auto* users = s.find<QComboBox>("ComboBox_User");
        if (run.chosen < 0)
            users->setEditText(run.typed);
        else
            users->setCurrentIndex(run.chosen);
        delete s.dialog();
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile file(history);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Login]\r\nUser=" + c.before + "\r\n");
        file.close();
        Session first(history);
        Session second(history);
        close(first, c.first);
        close(second, c.second);
        EXPECT_EQ(LoginHistoryFile(history).readString("Login", "User"), c.after);
    }
}

// The export meets a full disk (a small file system of its own where the machine allows one) or
// a folder that cannot be made: the file of that name keeps what it held, nothing else is left
// behind, the error is shown, and the next export to a good place works.
TEST_F(Hostility, AnExportToAFullDiskKeepsTheOldFileAndSaysWhy)
{
    const QString base = makeDemoDatabase(folder, 2000);
    const QString dir = folder.path(QStringLiteral("small"));
    ScratchMount mount(dir, 64);
    const QString blocker = folder.path(QStringLiteral("a file"));
    QFile(blocker).open(QIODevice::WriteOnly);
    // The reason is the system's own text. A large export meets the full disk in the middle of
    // a write, a small one when what was buffered is written.
    struct Target {
        const char* name;
        QString path;
        QString reason;
        std::optional<Period> period;
    };
    std::vector<Target> targets = {{"a folder that cannot be made",
                                    blocker + QStringLiteral("/export.txt"), systemReason(ENOTDIR),
                                    std::nullopt}};
    if (mount.mounted()) {
        const QString path = dir + QStringLiteral("/export.txt");
        targets.push_back({"a full disk", path, systemReason(ENOSPC), std::nullopt});
        targets.push_back({"a full disk, a few records", path, systemReason(ENOSPC),
                           Period{QDate(2025, 6, 1), QDate(2025, 6, 3)}});
    } else {
        qWarning("no small file system could be mounted: the full disk is not tried");
    }

    Session s(history);
    ASSERT_TRUE(s.login({base, QStringLiteral("LOG_TABLE")}));
    const QByteArray old(20000, 'o');
    for (const Target& target : targets) {
        SCOPED_TRACE(target.name);
        const QString folderOfTarget = QFileInfo(target.path).path();
        QFile file(target.path);
        if (file.open(QIODevice::WriteOnly))
            file.write(old);
        file.close();
        if (target.period) {
            // Whatever room is left goes to another file.
            QFile filler(folderOfTarget + QStringLiteral("/filler"));
            ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
            while (filler.write(QByteArray(1024, 'f')) == 1024 && filler.flush()) {
            }
        }
        const QStringList before = QDir(folderOfTarget).entryList(QDir::Files);
        s.prompts.shown.clear();
        s.exportTo(target.path, target.period);
        const QString said =
            "Не удалось создать файл \"" + QDir::toNativeSeparators(target.path) + "\". ";
#ifdef Q_OS_UNIX
        EXPECT_EQ(errors(s), QStringList{said + target.reason});
#else
        // The reason is Windows' own text there, in the system's language.
        ASSERT_EQ(errors(s).size(), 1);
        EXPECT_TRUE(errors(s).front().startsWith(said)) << errors(s).front().toStdString();
#endif
        EXPECT_EQ(QDir(folderOfTarget).entryList(QDir::Files), before);
        if (!before.isEmpty()) {
            EXPECT_EQ(fileBytes(target.path), old);
        }
    }
    s.prompts.shown.clear();
    s.exportTo(folder.path(QStringLiteral("good.txt")));
    EXPECT_EQ(s.prompts.texts().last(), QStringLiteral("Выгрузка логов завершена!"));
}

// A million records: the grid holds them all, a title click sorts them, Ctrl+Delete takes the one
// chosen and no other, and the export writes every one.
TEST_F(Hostility, AMillionRecordsStayCorrectThroughTheGridTheSortTheDeletionAndTheExport)
{
    constexpr int kRecords = 1000000;
    const QString base = makeDatabase(
        folder, QStringLiteral("million.sqlite"),
        {"create table LOGS" + kColumns,
         QStringLiteral(
             "with recursive n(i) as (select 1 union all select i + 1 from n where i < %1) "
             "insert into LOGS select i, datetime('2025-01-01', '+' || (i * 7919 % %1) || "
             "' minutes'), 'T' || (i % 37), case i % 3 when 0 then 'INSERT' when 1 then 'UPDATE' "
             "else 'DELETE' end, 'change ' || i, 'U' || (i % 11) || ' - PC' || (i % 7) || ' - DB' "
             "|| (i % 5) from n")
             .arg(kRecords)});
    Session s(history);
    ASSERT_TRUE(s.login({base, QStringLiteral("LOGS")}));
    EXPECT_EQ(s.entries("DBLookupComboBoxTable").size(), 38);
    s.click("BitBtnSelect");
    QAbstractItemModel* grid = s.grid()->model();
    ASSERT_EQ(grid->rowCount(), kRecords);
    // Minute i * 7919 modulo a million: the record of minute 0 comes first, then that of minute 1.
    EXPECT_EQ(s.sids().mid(0, 2), QList<int>({kRecords, 17679}));
    s.titleClick(QStringLiteral("STABLE"));
    const QStringList tables = s.column(QStringLiteral("STABLE"));
    int groups = 1;
    for (qsizetype row = 1; row < tables.size(); ++row)
        groups += tables[row] != tables[row - 1];
    EXPECT_EQ(groups, 37);

    const QList<int> sids = s.sids();
    const int doomed = sids[kRecords / 2];
    s.deleteRow(kRecords / 2);
    EXPECT_EQ(queryScalar(base, QStringLiteral("select count(*) from LOGS")), kRecords - 1);
    EXPECT_EQ(
        queryScalar(base, QStringLiteral("select count(*) from LOGS where sid = %1").arg(doomed)),
        0);
    ASSERT_EQ(grid->rowCount(), kRecords - 1);
    EXPECT_EQ(s.data().mainDataset().currentRow(), kRecords / 2);
    EXPECT_EQ(s.sids().mid(kRecords / 2 - 1, 2),
              QList<int>({sids[kRecords / 2 - 1], sids[kRecords / 2 + 1]}));

    const QString exported = folder.path(QStringLiteral("million.txt"));
    s.exportTo(exported);
    const QByteArray file = fileBytes(exported);
    EXPECT_EQ(file.count('\n'), kRecords - 1 + 6);
    EXPECT_FALSE(file.contains(" - change " + QByteArray::number(doomed) + " - "));
    EXPECT_EQ(errors(s), QStringList());
}

} // namespace
} // namespace varnel::test
