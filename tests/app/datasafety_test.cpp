// Ways a careless or a hostile user could make the program take records they did not choose,
// driven through its windows: a period in a locale whose dates have two-digit years or other
// digits, a wheel turned over the question, an export onto the program's own files, a log
// table whose DDATE holds text.

#include "app/mainwindow.h"
#include "base/localetext.h"
#include "browse/loggrid.h"
#include "common/session.h"
#include "common/testsupport.h"
#include "db/logdatabase.h"
#include "login/logindialog.h"
#include "ui/core/exportfile.h"
#include "ui/qtprompts.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>

// Links are made with the POSIX calls; on Windows a symbolic link needs a privilege that a test
// run lacks, so the cases through links are Unix-only.
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace varnel::test {
namespace {

using Kind = ScriptedPrompts::Kind;

const QString kCreate =
    QStringLiteral("create table LOGS(sid NUMBER, ddate DATE, stable VARCHAR2(50), "
                   "saction VARCHAR2(10), schanges VARCHAR2(4000), suser_info VARCHAR2(100))");

// Records at midnight and at noon of days on both sides of the years a picker may hold and of
// the RR rule's turn (1949/1950), sids 1, 2, ...; STABLE names the record ("R7").
const QDateTime kStamps[] = {
    {{1899, 12, 31}, {}},      {{1900, 1, 1}, {}},       {{1900, 1, 1}, {12, 0}},
    {{1949, 12, 8}, {}},       {{1949, 12, 8}, {12, 0}}, {{1949, 12, 9}, {}},
    {{1950, 1, 1}, {}},        {{1975, 1, 1}, {}},       {{2000, 1, 1}, {}},
    {{2025, 1, 1}, {}},        {{2025, 6, 15}, {12, 0}}, {{2026, 3, 1}, {}},
    {{2049, 12, 31}, {12, 0}}, {{2050, 1, 1}, {}},       {{2075, 1, 1}, {}},
    {{2075, 1, 1}, {12, 0}},   {{2075, 1, 2}, {}},
};
constexpr int kRecords = static_cast<int>(std::size(kStamps));

QString insertAll()
{
    QStringList rows;
    for (int sid = 1; sid <= kRecords; ++sid)
        rows << QStringLiteral("(%1, '%2', 'R%1', 'INSERT', 'x', 'OS - PC - DB')")
                    .arg(sid)
                    .arg(kStamps[sid - 1].toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    return QStringLiteral("insert into LOGS values ") + rows.join(u',');
}

// A set of sids as bits.
using Sids = long long;
template <class Keep> Sids sidsWhere(Keep keep)
{
    Sids sids = 0;
    for (int sid = 1; sid <= kRecords; ++sid)
        if (keep(kStamps[sid - 1]))
            sids |= Sids(1) << sid;
    return sids;
}

Sids sidsIn(const QString& path)
{
    return queryScalar(path, QStringLiteral("select ifnull(sum(1 << sid), 0) from LOGS"));
}

// The records of an export's file, by the names in their lines.
Sids sidsExported(const QString& file)
{
    static const QRegularExpression name(QStringLiteral(" - R(\\d+) - INSERT - "));
    Sids sids = 0;
    auto it = name.globalMatch(QString::fromLatin1(fileBytes(file)));
    while (it.hasNext())
        sids |= Sids(1) << it.next().captured(1).toInt();
    return sids;
}

// Turns the wheel over `over` as the window system does: addressed to its window.
void turnWheel(QWidget* over, int delta)
{
    const QPoint at = over->rect().center();
    QWheelEvent wheel(over->mapTo(over->window(), at), over->mapToGlobal(at), QPoint(),
                      QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(over->window()->windowHandle(), &wheel);
}

// The save dialog's "Save", pressed.
void pressSave(QFileDialog& dialog)
{
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    for (QAbstractButton* button : buttons->buttons())
        if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole)
            button->click();
}

// Answers, while it lives, the question that a save dialog asks before it replaces an existing
// file, and keeps what it asked.
class ReplaceQuestion {
public:
    explicit ReplaceQuestion(bool replace)
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this, replace] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !qobject_cast<QFileDialog*>(box->parentWidget()))
                return;
            asked << box->text();
            box->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        m_poll.start();
    }
    QStringList asked;

private:
    QTimer m_poll;
};

// Under each locale a period of the page "Управление логами", and the same days on the page
// "Просмотр логов", take exactly the records of the days the pickers hold, whichever year:
// en_US and de_DE write a two-digit year in their short format, ar_SA its own digits.
TEST(DataSafety, PeriodsOfAnyYearTakeTheirRecordsInLocalesOfShortYearsAndOtherDigits)
{
    const struct {
        QLocale locale;
        const char* from1900; // how the question writes 1 January 1900
    } locales[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), "1/1/1900"},
        {QLocale(QLocale::German, QLocale::Germany), "01.01.1900"},
        {QLocale(QLocale::Arabic, QLocale::SaudiArabia), "1/1/1900"},
    };
    const Period periods[] = {
        {{1900, 1, 1}, {1949, 12, 8}}, {{1949, 12, 8}, {2025, 1, 1}}, {{2025, 1, 1}, {2075, 1, 1}},
        {{1900, 1, 1}, {2075, 1, 1}},  {{2075, 1, 1}, {2075, 1, 1}},
    };
    for (const auto& [locale, from1900] : locales) {
        SCOPED_TRACE(locale.name().toStdString());
        const DefaultLocale scoped(locale);
        TempFolder folder;
        const QString path = makeDatabase(folder, QStringLiteral("logs.sqlite"), {kCreate});
        Session session(folder.path(QStringLiteral("Login.ini")));
        ASSERT_TRUE(session.login({path, QStringLiteral("LOGS")}));

        for (const Period& period : periods) {
            SCOPED_TRACE(period.from.toString(Qt::ISODate).toStdString() + " - " +
                         period.to.toString(Qt::ISODate).toStdString());
            queryScalar(path, QStringLiteral("delete from LOGS"));
            queryScalar(path, insertAll());
            const Sids wanted = sidsWhere([&](const QDateTime& at) {
                return at >= QDateTime(period.from, {}) && at <= QDateTime(period.to, {});
            });
            ASSERT_NE(wanted, 0);

            const QString file = folder.path(QStringLiteral("export.txt"));
            session.prompts.shown.clear();
            session.exportTo(file, period);
            EXPECT_EQ(session.prompts.texts().last(), QStringLiteral("Выгрузка логов завершена!"));
            EXPECT_EQ(sidsExported(file), wanted);

            session.prompts.shown.clear();
            session.deletePeriod(period);
            ASSERT_EQ(session.prompts.texts().last(), QStringLiteral("Записи успешно удалены!"));
            EXPECT_EQ(sidsIn(path), sidsWhere([](const QDateTime&) { return true; }) & ~wanted);
            if (period.from == QDate(1900, 1, 1)) {
                EXPECT_TRUE(session.prompts.shown.front().text.contains(
                    QString::fromUtf8(from1900) + QStringLiteral("г. по ")))
                    << session.prompts.shown.front().text.toStdString();
            }
        }

        // The preset file name of the export is a file name in this locale too.
        const QString preset = session.prompts.saveRequests.back().fileName;
        EXPECT_EQ(preset,
                  QStringLiteral("Varnel_") +
                      LocaleText::current().dateText(QDate::currentDate()).replace(u'/', u'-') +
                      QStringLiteral(".txt"));

        // The day filters of the view page, ticked with a click, which rebuilds the lists.
        queryScalar(path, QStringLiteral("delete from LOGS"));
        queryScalar(path, insertAll());
        session.prompts.shown.clear();
        session.find<QDateEdit>("DateTimePickerFrom")->setDate({1949, 12, 8});
        session.find<QDateEdit>("DateTimePickerTo")->setDate({2049, 12, 31});
        session.click("CheckBoxDateFrom");
        session.click("CheckBoxDateTo");
        session.click("BitBtnSelect");
        EXPECT_TRUE(session.prompts.shown.empty())
            << session.prompts.texts().join('|').toStdString();
        Sids shown = 0;
        for (int sid : session.sids())
            shown |= Sids(1) << sid;
        EXPECT_EQ(shown, sidsWhere([](const QDateTime& at) {
                      return at.date() >= QDate(1949, 12, 8) && at.date() <= QDate(2049, 12, 31);
                  }));
    }
}

// A wheel notch over the question "Очистить таблицу" asks must not turn its answer: Enter
// still answers «Нет», whichever way the wheel turned, and the records stay.
TEST(DataSafety, AWheelTurnedOverTheDeletionQuestionLeavesItsAnswerNo)
{
    TempFolder folder;
    const QString path = makeDemoDatabase(folder, 200);
    Session session(folder.path(QStringLiteral("Login.ini")));
    ASSERT_TRUE(session.login({path, QStringLiteral("LOG_TABLE")}));
    QtPrompts real;
    session.prompts.real = &real;
    for (const int delta : {-120, 120, -360, 120 * 5}) {
        SCOPED_TRACE(delta);
        bool asked = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            asked = true;
            QApplication::setActiveWindow(box);
            turnWheel(box, delta);
            QWidget* focus = QApplication::focusWidget();
            QTest::keyClick(focus && box->isAncestorOf(focus) ? focus : box, Qt::Key_Return);
        });
        session.click("BitBtnClearLogTable");
        EXPECT_TRUE(asked);
        EXPECT_EQ(queryScalar(path, QStringLiteral("select count(*) from LOG_TABLE")), 200);
        EXPECT_FALSE(session.prompts.texts().contains(QStringLiteral("Записи успешно удалены!")));
    }
}

// In the save dialog a file chosen with a click stays chosen when the wheel turns over the
// list: the arrow keys would choose the next file, and the question before it is replaced
// would be answered for the file the user meant.
TEST(DataSafety, AWheelTurnedOverTheSaveDialogsListKeepsTheChosenFile)
{
    TempFolder folder;
    const QString path = makeDemoDatabase(folder, 20);
    const QString files = folder.path(QStringLiteral("exports"));
    QDir().mkpath(files);
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        QFile file(files + u'/' + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("kept");
    }
    Session session(folder.path(QStringLiteral("Login.ini")));
    ASSERT_TRUE(session.login({path, QStringLiteral("LOG_TABLE")}));
    QtPrompts real;
    session.prompts.real = &real;
    std::function<void()> drive = [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(10, drive);
            return;
        }
        // A step that fails below must fail the test, not leave the dialog waiting forever.
        const auto closeAnyway = qScopeGuard([dialog] {
            if (dialog->isVisible())
                dialog->reject();
        });
        dialog->setDirectory(files);
        auto* model = dialog->findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        QAbstractItemView* view = nullptr;
        for (auto* candidate : dialog->findChildren<QAbstractItemView*>())
            if (candidate->isVisible() && candidate->model() == model &&
                !qobject_cast<QHeaderView*>(candidate))
                view = candidate;
        ASSERT_NE(view, nullptr);
        // The list is filled and sorted from another thread: its rows move meanwhile, so the
        // file's index is asked anew, and it is chosen as the arrow keys would choose it (two
        // quick clicks would open whatever row had moved under them).
        const QString chosen = files + QStringLiteral("/b.txt");
        ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(model->index(files)) == 3; }));
        ASSERT_TRUE(QTest::qWaitFor([&] {
            view->selectionModel()->setCurrentIndex(model->index(chosen),
                                                    QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
            return dialog->selectedFiles() == QStringList{chosen};
        }));
        turnWheel(view->viewport(), -120);
        pressSave(*dialog);
    };
    QTimer::singleShot(0, drive);
    ReplaceQuestion question(true);
    session.click("BitBtnExport");
    EXPECT_EQ(question.asked.size(), 1);
    EXPECT_EQ(fileBytes(files + QStringLiteral("/c.txt")), "kept");
    EXPECT_EQ(fileBytes(files + QStringLiteral("/a.txt")), "kept");
    EXPECT_TRUE(fileBytes(files + QStringLiteral("/b.txt")).startsWith("-- Varnel 1.0.0."));
}

// " Выгрузить" asks before it replaces a file that exists, as the CSV export does: «Нет» keeps
// the file and the dialog open, «Да» replaces the file; a new file is written unasked.
TEST(DataSafety, TheExportAsksBeforeItReplacesAnExistingFile)
{
    TempFolder folder;
    Session session(folder.path(QStringLiteral("Login.ini")));
    QtPrompts real;
    session.prompts.real = &real;
    ASSERT_TRUE(session.login({makeDemoDatabase(folder, 20), QStringLiteral("LOG_TABLE")}));
    const struct {
        const char* name;
        bool exists;
        bool yes; // the answer, if asked
    } cases[] = {
        {"an existing file, answered No", true, false},
        {"an existing file, answered Yes", true, true},
        {"a new file", false, false},
    };
    int files = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString target = folder.path(QStringLiteral("export%1.txt").arg(++files));
        if (c.exists) {
            QFile file(target);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("kept");
        }
        QObject scope; // its timers die with it, never reaching a later case
        bool stayed = false;
        std::function<void()> drive = [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                QTimer::singleShot(10, &scope, drive);
                return;
            }
            dialog->selectFile(target);
            pressSave(*dialog);
            stayed = dialog->isVisible();
            if (stayed)
                dialog->reject();
        };
        QTimer::singleShot(0, &scope, drive);
        ReplaceQuestion question(c.yes);
        session.prompts.shown.clear();
        session.click("BitBtnExport");

        const bool written = !c.exists || c.yes;
        EXPECT_EQ(question.asked.size(), c.exists ? 1 : 0);
        if (c.exists && !question.asked.empty()) {
            EXPECT_TRUE(question.asked.front().contains(QFileInfo(target).fileName()))
                << question.asked.front().toStdString();
        }
        EXPECT_EQ(stayed, !written);
        EXPECT_EQ(fileBytes(target).startsWith("-- Varnel 1.0.0."), written);
        if (!written) {
            EXPECT_EQ(fileBytes(target), "kept");
        }
        EXPECT_EQ(session.prompts.texts().contains(QStringLiteral("Выгрузка логов завершена!")),
                  written);
    }
}

// The export never replaces a file the program works with, however its path is written: the
// open database (every record, and whatever else the file holds), SQLite's journals beside it
// and the login history. It says which file, writes nothing and the next export goes on.
TEST(DataSafety, AnExportOntoTheProgramsOwnFilesIsRefusedAndWritesNothing)
{
    TempFolder folder;
    const QString db = makeDemoDatabase(folder, 50);
    const QString history = folder.path(QStringLiteral("Login.ini"));
    const QString name = QFileInfo(db).fileName();
    QDir().mkpath(folder.path(QStringLiteral("sub")));
#ifdef Q_OS_UNIX
    ASSERT_EQ(symlink(db.toUtf8().constData(), folder.path("link.txt").toUtf8().constData()), 0);
    ASSERT_EQ(symlink((db + "-journal").toUtf8().constData(),
                      folder.path("journal-link.txt").toUtf8().constData()),
              0);
    ASSERT_EQ(link(db.toUtf8().constData(), folder.path("hard.txt").toUtf8().constData()), 0);
#endif
    Session session(history);
    ASSERT_TRUE(session.login({db, QStringLiteral("LOG_TABLE")}));
    const QByteArray dbBytes = fileBytes(db);
    const QByteArray historyBytes = fileBytes(history);
    ASSERT_TRUE(historyBytes.contains("LOG_TABLE"));

    QStringList targets = {
        db,
        db + "-journal",
        db + "-wal",
        folder.path("./") + name,
        folder.path("sub/../") + name,
        folder.path("sub//..//") + name,
        history,
        folder.path("sub/../Login.ini"),
    };
#ifdef Q_OS_UNIX
    targets << folder.path("link.txt") << folder.path("journal-link.txt")
            << folder.path("hard.txt");
#endif
    for (const QString& target : targets) {
        SCOPED_TRACE(target.toStdString());
        session.prompts.shown.clear();
        session.exportTo(target, std::nullopt);
        ASSERT_EQ(session.prompts.shown.size(), 2U);
        EXPECT_EQ(session.prompts.shown[0].kind, Kind::SaveFile);
        EXPECT_EQ(session.prompts.shown[1].kind, Kind::Message);
        EXPECT_EQ(session.prompts.shown[1].text,
                  QStringLiteral("Нельзя выгрузить записи в файл ") +
                      QDir::toNativeSeparators(target) +
                      QStringLiteral(": это файл, с которым работает программа."));
        EXPECT_FALSE(QFile::exists(db + "-journal"));
        EXPECT_FALSE(QFile::exists(db + "-wal"));
    }
    EXPECT_EQ(fileBytes(db), dbBytes);
    EXPECT_EQ(fileBytes(history), historyBytes);
    EXPECT_EQ(queryScalar(db, QStringLiteral("select count(*) from LOG_TABLE")), 50);

    // A file of the same name elsewhere is no file of the program's.
    const QString elsewhere = folder.path(QStringLiteral("sub/") + name);
    session.prompts.shown.clear();
    session.exportTo(elsewhere, std::nullopt);
    EXPECT_EQ(session.prompts.texts().last(), QStringLiteral("Выгрузка логов завершена!"));
    EXPECT_TRUE(fileBytes(elsewhere).startsWith("-- Varnel 1.0.0."));
}

// The executable, compared without writing to it: through a link and by another spelling.
TEST(DataSafety, TheExecutableIsTheSameFileThroughALinkOrAnotherSpelling)
{
    TempFolder folder;
    const QString exe = QCoreApplication::applicationFilePath();
    const QFileInfo info(exe);
    std::vector<std::pair<QString, bool>> cases = {
        {exe, true},
        {info.absolutePath() + QStringLiteral("/./") + info.fileName(), true},
        {info.absolutePath() + QStringLiteral("/../") + info.dir().dirName() + u'/' +
             info.fileName(),
         true},
        {exe + QStringLiteral(".txt"), false},
        {folder.path(info.fileName()), false},
        {QString(), false},
    };
#ifdef Q_OS_UNIX
    const QString link = folder.path(QStringLiteral("program"));
    ASSERT_EQ(symlink(exe.toUtf8().constData(), link.toUtf8().constData()), 0);
    cases.emplace_back(link, true);
#endif
    for (const auto& [target, same] : cases)
        EXPECT_EQ(fileWrittenOver(target, {QString(), exe}) == exe, same) << target.toStdString();
}

// A log table whose DDATE is text compares its dates as text: the login refuses it, as it
// refuses a table that lacks the log's columns, and no main window opens. A DATE or a
// TIMESTAMP column is a date.
TEST(DataSafety, ALogTableWhoseDdateIsNoDateEndsTheLogin)
{
    const std::pair<const char*, bool> types[] = {
        {"DATE", true},          {"TIMESTAMP", true}, {"TEXT", false},
        {"VARCHAR2(19)", false}, {"NUMBER", false},
    };
    for (const auto& [type, accepted] : types) {
        SCOPED_TRACE(type);
        TempFolder folder;
        const QString path = makeDatabase(
            folder, QStringLiteral("logs.sqlite"),
            {QStringLiteral("create table logs(sid NUMBER, ddate %1, stable VARCHAR2(50), "
                            "saction VARCHAR2(10), schanges VARCHAR2(4000), "
                            "suser_info VARCHAR2(100))")
                 .arg(QLatin1String(type)),
             "insert into logs values (1, '2025-03-01 10:00:00', 'T', 'INSERT', 'x', 'A - B - "
             "C')"});
        Session session(folder.path(QStringLiteral("Login.ini")));
        EXPECT_EQ(session.login({path, QStringLiteral("logs")}), accepted);
        if (accepted)
            continue;
        ASSERT_EQ(session.prompts.shown.size(), 1U);
        EXPECT_EQ(session.prompts.shown[0].kind, Kind::Error);
        EXPECT_EQ(session.prompts.shown[0].text,
                  QStringLiteral("Столбец DDATE таблицы логов LOGS должен иметь тип DATE."));
        EXPECT_NE(session.dialog(), nullptr);
        EXPECT_TRUE(session.data().connection().connected());
    }
}

} // namespace
} // namespace varnel::test
