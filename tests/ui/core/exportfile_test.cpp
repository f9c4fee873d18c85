// The steps that the text export and the CSV export share with their files: the save dialog
// and its preset, the refusal of the program's own files, and the write on the connection's
// thread with what a cancel then means.

#include "base/localetext.h"
#include "common/scriptedprompts.h"
#include "common/testsupport.h"
#include "db/call.h"
#include "db/connection.h"
#include "db/dberror.h"
#include "ui/core/exportfile.h"

#include <QCoreApplication>
#include <QDate>
#include <QThread>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace varnel::test {
namespace {

using Kind = ScriptedPrompts::Kind;

// The preset is a file name in every locale: no folder made of a date's "/", an extension
// that the date's dots cannot stand in for, a four-digit year and the digits 0-9.
TEST(PeriodTexts, ThePresetExportNameIsAFileNameEndingInTxt)
{
    const std::pair<QLocale, QString> cases[] = {
        {QLocale(QLocale::Russian, QLocale::Russia), "Varnel_09.03.2026.txt"},
        {QLocale(QLocale::English, QLocale::UnitedStates), "Varnel_3-9-2026.txt"},
        {QLocale(QLocale::German, QLocale::Germany), "Varnel_09.03.2026.txt"},
        {QLocale(QLocale::Arabic, QLocale::SaudiArabia), "Varnel_9-3-2026.txt"},
        {QLocale(QLocale::Swedish, QLocale::Sweden), "Varnel_2026-03-09.txt"},
    };
    for (const auto& [locale, name] : cases)
        EXPECT_EQ(exportFileName(QDate(2026, 3, 9), LocaleText(locale), QStringLiteral("txt")),
                  name)
            << locale.name().toStdString();
    for (const QLocale& locale : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript,
                                                          QLocale::AnyTerritory)) {
        const QString name =
            exportFileName(QDate(2026, 3, 9), LocaleText(locale), QStringLiteral("txt"));
        EXPECT_TRUE(name.endsWith(QLatin1String(".txt"))) << name.toStdString();
        for (const QChar c : name)
            EXPECT_TRUE(c.unicode() >= 0x20 && !QStringView(u"/\\:*?\"<>|").contains(c))
                << name.toStdString();
    }
}

const ExportFile kText{{},
                       QStringLiteral("Текстовый файл (*.txt)"),
                       QStringLiteral("txt"),
                       QStringLiteral("Выгрузка логов"),
                       QStringLiteral("Выгрузка логов завершена!")};
const ExportFile kCsv{QStringLiteral("Экспорт в CSV"), QStringLiteral("Файл CSV (*.csv)"),
                      QStringLiteral("csv"), QStringLiteral("Экспорт в CSV"),
                      QStringLiteral("Экспорт в CSV завершён!")};

// Whatever an export writes, it never replaces the open database, its journals, a file of
// the program or the program itself, and says why; any other file the dialog gives is taken.
TEST(ExportFileChoice, TheProgramsOwnFilesAreRefusedForEitherExport)
{
    TempFolder folder;
    const QString database = makeDatabase(folder, QStringLiteral("logs.sqlite"));
    const QString history = folder.path(QStringLiteral("Login.ini"));
    Connection connection;
    connection.connect(localConnectionString(database));
    const LocaleText locale(QLocale(QLocale::Russian, QLocale::Russia));
    const struct {
        const char* name;
        QString answer; // what the dialog gives
        bool refused;
    } cases[] = {
        {"the database", database, true},
        {"its journal", database + QStringLiteral("-journal"), true},
        {"its write-ahead log, not there yet", database + QStringLiteral("-wal"), true},
        {"the database by another spelling", folder.path(QStringLiteral("./logs.sqlite")), true},
        {"the login history, not there yet", history, true},
        {"the program", QCoreApplication::applicationFilePath(), true},
        {"a file beside the database", folder.path(QStringLiteral("logs.sqlite.txt")), false},
        {"the dialog cancelled", QString(), false},
    };
    for (const ExportFile& file : {kText, kCsv}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(file.suffix.toStdString() + ": " + c.name);
            ScriptedPrompts prompts;
            prompts.fileNames = {c.answer};
            const QString chosen =
                chooseExportFile(nullptr, prompts, file, connection, {history}, locale);
            EXPECT_EQ(chosen, c.refused ? QString() : c.answer);
            ASSERT_EQ(prompts.saveRequests.size(), 1u);
            const SaveFileRequest& request = prompts.saveRequests.front();
            EXPECT_EQ(request.title, file.dialogTitle);
            EXPECT_EQ(request.filter, file.filter);
            EXPECT_EQ(request.defaultSuffix, file.suffix);
            EXPECT_EQ(request.fileName, exportFileName(QDate::currentDate(), locale, file.suffix));
            EXPECT_TRUE(request.confirmOverwrite);
            ASSERT_EQ(prompts.shown.size(), c.refused ? 2u : 1u);
            if (c.refused) {
                EXPECT_TRUE(prompts.shown[1].text.startsWith(
                    QStringLiteral("Нельзя выгрузить записи в файл ")))
                    << prompts.shown[1].text.toStdString();
            }
        }
    }
}

// The file is in place once the write returns: a cancel before that stops the export without
// a word, one after it is too late and the export is told as done; a failure is no success.
TEST(ExportFileWrite, ACancelCountsOnlyUntilTheFileIsInPlace)
{
    enum class Cancel { Never, WhileWriting, AfterTheWrite };
    struct Waiting : Waiter {
        Cancel cancel = Cancel::Never;
        QString title;
        void wait(Call& call) override
        {
            title = call.title();
            if (cancel == Cancel::WhileWriting)
                call.cancel();
            call.waitFinished();
            if (cancel == Cancel::AfterTheWrite)
                call.cancel();
        }
    };
    const struct {
        const char* name;
        Cancel cancel;
        bool fails;
        bool told;
        bool cancelled;
    } cases[] = {
        {"written", Cancel::Never, false, true, false},
        {"cancelled while writing", Cancel::WhileWriting, false, false, true},
        {"cancelled once written", Cancel::AfterTheWrite, false, true, false},
        {"failed", Cancel::Never, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Waiting waiting;
        waiting.cancel = c.cancel;
        Connection connection;
        connection.setWaiter(&waiting);
        ScriptedPrompts prompts;
        const auto write = [&c](Call& call) {
            // The cancel comes from the waiting side: without this wait the write can be done
            // before it is asked, which is the third case, not this one.
            for (int i = 0; c.cancel == Cancel::WhileWriting && !call.cancelRequested() && i < 1000;
                 ++i)
                QThread::msleep(10);
            call.checkCancelled();
            if (c.fails)
                throw Error(QStringLiteral("Не удалось записать файл"));
        };
        bool cancelled = false;
        QString failure;
        try {
            writeExportFile(connection, prompts, kCsv, write);
        } catch (const Cancelled&) {
            cancelled = true;
        } catch (const Error& error) {
            failure = error.message();
        }
        EXPECT_EQ(cancelled, c.cancelled);
        EXPECT_EQ(failure, c.fails ? QStringLiteral("Не удалось записать файл") : QString());
        EXPECT_EQ(prompts.texts(), c.told ? QStringList{kCsv.finished} : QStringList());
        EXPECT_EQ(waiting.title, kCsv.waitTitle);
    }
}

} // namespace
} // namespace varnel::test
