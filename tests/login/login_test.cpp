#include "common/scriptedprompts.h"
#include "common/testsupport.h"
#include "db/dberror.h"
#include "db/logdatabase.h"
#include "login/logindialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace varnel::test {
namespace {

const QString kLogColumns =
    QStringLiteral("(sid NUMBER, ddate DATE, stable VARCHAR2(50), saction VARCHAR2(10), "
                   "schanges VARCHAR2(4000), suser_info VARCHAR2(100))");
const QString kDbError = QStringLiteral("Ошибка подключения к базе данных!\n");

class Login : public ::testing::Test {
public:
    ~Login() override { delete dialog.data(); }

    QString databaseFile(const QString& name, const QStringList& tables)
    {
        QStringList statements;
        for (const QString& table : tables)
            statements << QStringLiteral("create table ") + table + kLogColumns;
        return makeDatabase(folder, name, statements);
    }

    void writeHistory(const QByteArray& text)
    {
        QFile file(history);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    QByteArray historyBytes() const
    {
        QFile file(history);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    }

    void open()
    {
        dialog = new LoginDialog(database, prompts, history);
        dialog->setHandOver([this] {
            ++handOvers;
            if (!handOverError.isEmpty())
                throw DbError(handOverError);
        });
        dialog->show();
        QApplication::setActiveWindow(dialog);
    }

    template <class T> T* child(const char* name) const
    {
        T* widget = dialog->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QComboBox* box(const char* name) const { return child<QComboBox>(name); }

    // Replaces a field's text the way a user does: select all, type.
    void type(QWidget* field, const QString& text)
    {
        QLineEdit* edit = qobject_cast<QLineEdit*>(field);
        if (!edit)
            edit = static_cast<QComboBox*>(field)->lineEdit();
        edit->setFocus();
        edit->selectAll();
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Delete);
        else
            QTest::keyClicks(edit, text);
    }

    // Pastes over a field's whole text, as Ctrl+V does.
    void paste(QComboBox* field, const QString& text)
    {
        QGuiApplication::clipboard()->setText(text);
        field->lineEdit()->setFocus();
        field->lineEdit()->selectAll();
        QTest::keyClick(field->lineEdit(), Qt::Key_V, Qt::ControlModifier);
    }

    void fill(const QString& user, const QString& password, const QString& base,
              const QString& table)
    {
        type(box("ComboBox_User"), user);
        type(child<QLineEdit>("Edit_Password"), password);
        type(box("ComboBox_Base"), base);
        type(box("ComboBox_Table"), table);
    }

    void clickOk()
    {
        QTest::mouseClick(child<QPushButton>("BitBtn_OK"), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Closes the dialog as the end of the program does; the history is written then.
    void destroy()
    {
        delete dialog.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TempFolder folder;
    ScriptedPrompts prompts;
    LogDatabase database;
    QString history = folder.path(QStringLiteral("Login.ini"));
    QPointer<LoginDialog> dialog;
    int handOvers = 0;
    QString handOverError;
};

TEST_F(Login, EmptyFieldsGiveOneMessageAndTheLastEmptyFieldInOrderTakesTheFocus)
{
    const QString base = databaseFile(QStringLiteral("base.sqlite"), {QStringLiteral("LOGS")});
    struct Case {
        QString user, password, base, table;
        const char* focus;
    } cases[] = {
        {"", "", "", "", "Edit_Password"},        {"", "pw", base, "LOGS", "ComboBox_User"},
        {"u", "pw", "", "LOGS", "ComboBox_Base"}, {"", "pw", "", "", "ComboBox_Table"},
        {"u", "", base, "LOGS", "Edit_Password"},
    };
    for (const Case& c : cases) {
        open();
        prompts.shown.clear();
        fill(c.user, c.password, c.base, c.table);
        child<QPushButton>("BitBtn_OK")->setFocus();
        clickOk();
        EXPECT_EQ(prompts.texts(), QStringList{QStringLiteral("Введены не все параметры!")});
        EXPECT_EQ(QApplication::focusWidget() ? QApplication::focusWidget()->objectName()
                                              : QString(),
                  QLatin1String(c.focus));
        EXPECT_FALSE(database.connection().connected());
        destroy();
    }
}

TEST_F(Login, FailuresAreShownAndLeaveTheDialogOpenAndDisconnected)
{
    const QString base = databaseFile(QStringLiteral("base.sqlite"), {QStringLiteral("LOGS")});
    struct Case {
        QString base, table;
        QString message; // the whole text, or, when empty, a text naming `mentions`
        QString mentions;
    } cases[] = {
        {folder.path(QStringLiteral("missing.sqlite")), QStringLiteral("LOGS"), QString(),
         QStringLiteral("missing.sqlite")},
        // An Oracle service the driver cannot resolve: the driver's own words.
        {QStringLiteral("ORCL"), QStringLiteral("LOGS"), QString(),
         QStringLiteral("[Oracle][ODBC][Ora]ORA-12154: TNS:could not resolve the connect "
                        "identifier specified")},
        {base, QStringLiteral("NO_SUCH"),
         kDbError + QStringLiteral("ORA-00942: table or view does not exist"), QString()},
    };
    open();
    for (const Case& c : cases) {
        prompts.shown.clear();
        fill(QStringLiteral("scott"), QStringLiteral("tiger"), c.base, c.table);
        clickOk();
        ASSERT_TRUE(dialog);
        ASSERT_EQ(prompts.shown.size(), 1u) << c.table.toStdString();
        EXPECT_EQ(prompts.shown[0].kind, ScriptedPrompts::Kind::Message);
        if (c.message.isEmpty()) {
            EXPECT_TRUE(prompts.shown[0].text.startsWith(kDbError));
            EXPECT_TRUE(prompts.shown[0].text.contains(c.mentions))
                << prompts.shown[0].text.toStdString();
        } else
            EXPECT_EQ(prompts.shown[0].text, c.message);
        EXPECT_FALSE(database.connection().connected());
        EXPECT_FALSE(database.mainDataset().isOpen());
        EXPECT_EQ(handOvers, 0);
        EXPECT_TRUE(database.currentLogTable().isEmpty());
    }
}

TEST_F(Login, ATableTextThatNamesNoTableIsRefusedBeforeAnythingIsSent)
{
    // A missing database: a connection attempt would say so instead.
    const QString missing = folder.path(QStringLiteral("missing.sqlite"));
    const std::pair<QString, bool> cases[] = {
        {"LOGS; drop table LOGS", false},
        {"LOG_TABLE --", false},
        {"LOG_TABLE where sid > 0 --", false},
        {"scott.\"Log table\"@remote.example.com", true},
    };
    open();
    for (const auto& [table, valid] : cases) {
        prompts.shown.clear();
        fill(QStringLiteral("scott"), QStringLiteral("tiger"), missing, table);
        child<QPushButton>("BitBtn_OK")->setFocus();
        clickOk();
        ASSERT_TRUE(dialog);
        ASSERT_EQ(prompts.shown.size(), 1u);
        if (valid) {
            EXPECT_TRUE(prompts.shown[0].text.startsWith(kDbError)) << table.toStdString();
            continue;
        }
        EXPECT_EQ(prompts.texts(),
                  QStringList{QStringLiteral("Неверное имя таблицы логов: «") + table + "»"});
        EXPECT_EQ(QApplication::focusWidget(), box("ComboBox_Table"));
        EXPECT_FALSE(database.connection().connected());
        EXPECT_EQ(handOvers, 0);
    }
}

TEST_F(Login, TheRememberedUserIsSelectedSoThatTypingReplacesIt)
{
    writeHistory("[Login]\r\nUser=u3;u1;\r\n");
    open();
    ASSERT_EQ(QApplication::focusWidget(), box("ComboBox_User"));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("scott"));
    EXPECT_EQ(box("ComboBox_User")->currentText(), QStringLiteral("scott"));
}

TEST_F(Login, AnEmptyExistingTablePassesAndHandsOverWithTheNameAsTyped)
{
    const QString base = databaseFile(QStringLiteral("base.sqlite"), {QStringLiteral("logs")});
    open();
    QLineEdit* password = child<QLineEdit>("Edit_Password");
    EXPECT_EQ(
        password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, password),
        '*');
    fill(QStringLiteral("scott"), QStringLiteral("s3cr;et"), base, QStringLiteral("logs"));
    clickOk();
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(handOvers, 1);
    EXPECT_EQ(database.currentLogTable(), QStringLiteral("logs"));
    EXPECT_TRUE(database.connection().connected());
    EXPECT_FALSE(database.mainDataset().isOpen());
    EXPECT_FALSE(dialog) << "the dialog destroys itself after the hand-over";
    // The password is never stored.
    EXPECT_EQ(historyBytes(), QByteArray("[Login]\r\nUser=scott;\r\nBase=") + base.toLocal8Bit() +
                                  ";\r\nTable=logs;\r\n");
}

// The name is upper-cased in the messages only. A failed creation is shown, then disconnects.
TEST_F(Login, CreationAsksWithTheNameUpperCasedAndUsesItAsTyped)
{
    const QString base = databaseFile(QStringLiteral("base.sqlite"), {QStringLiteral("LOGS")});
    const struct {
        QString table;
        QString outcome;
        bool created;
    } cases[] = {
        {QStringLiteral("logs"),
         kDbError + QStringLiteral("ORA-00955: name is already used by an existing object"), false},
        {QStringLiteral("new_logs"), QStringLiteral("Таблица логов \"NEW_LOGSсоздана!"), true},
    };
    open();
    for (const auto& c : cases) {
        prompts.shown.clear();
        fill(QStringLiteral("scott"), QStringLiteral("tiger"), base, c.table);
        child<QCheckBox>("CheckBoxCreateTable")->setChecked(true);
        prompts.answers = {true};
        clickOk();
        ASSERT_EQ(prompts.shown.size(), 2u);
        EXPECT_EQ(prompts.shown[0].kind, ScriptedPrompts::Kind::Confirm);
        EXPECT_EQ(prompts.shown[0].title, QStringLiteral("Создать таблицу логов?"));
        EXPECT_EQ(prompts.shown[0].text,
                  QStringLiteral("Вы действительно хотите создать таблицу логов \"") +
                      c.table.toUpper() + QStringLiteral("\"?"));
        EXPECT_EQ(prompts.shown[1].text, c.outcome);
        EXPECT_EQ(database.connection().connected(), c.created);
        EXPECT_EQ(handOvers, c.created ? 1 : 0);
    }
    EXPECT_EQ(database.currentLogTable(), QStringLiteral("new_logs"));
    EXPECT_EQ(database.commandDataset().getText(),
              QStringLiteral("create public synonym new_logs for new_logs\r\n"));
}

// After "No" the connection stays open; a corrected database name must reach the new
// database instead of going on over the old connection.
TEST_F(Login, RefusedCreationKeepsTheConnectionAndACorrectedDatabaseIsReached)
{
    const QString wrong = databaseFile(QStringLiteral("wrong.sqlite"), {});
    const QString right = databaseFile(QStringLiteral("right.sqlite"), {QStringLiteral("LOGS")});
    open();
    fill(QStringLiteral("scott"), QStringLiteral("tiger"), wrong, QStringLiteral("LOGS"));
    child<QCheckBox>("CheckBoxCreateTable")->setChecked(true);
    prompts.answers = {false};
    clickOk();
    EXPECT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(database.connection().connected());
    EXPECT_TRUE(dialog);

    child<QCheckBox>("CheckBoxCreateTable")->setChecked(false);
    type(box("ComboBox_Base"), right);
    clickOk();
    EXPECT_EQ(prompts.shown.size(), 1u) << prompts.texts().join('|').toStdString();
    EXPECT_EQ(handOvers, 1);
    EXPECT_TRUE(database.connection().connectionString().contains(right));
}

// A hand-over that fails (a table without the log columns makes the filter lists fail)
// reaches the default error display; the login stays connected with its table set.
TEST_F(Login, FailedHandOverReachesTheErrorDisplayAndKeepsTheDialog)
{
    const QString base = databaseFile(QStringLiteral("base.sqlite"), {QStringLiteral("LOGS")});
    open();
    fill(QStringLiteral("scott"), QStringLiteral("tiger"), base, QStringLiteral("LOGS"));
    handOverError = QStringLiteral("ORA-00904: \"STABLE\": invalid identifier");
    clickOk();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, ScriptedPrompts::Kind::Error);
    EXPECT_EQ(prompts.shown[0].text, handOverError + QLatin1Char('.'));
    EXPECT_TRUE(dialog);
    EXPECT_TRUE(database.connection().connected());
    EXPECT_EQ(database.currentLogTable(), QStringLiteral("LOGS"));

    handOverError.clear();
    clickOk();
    EXPECT_EQ(handOvers, 2);
    EXPECT_FALSE(dialog);
}

TEST_F(Login, HistoryListsAreLoadedSelectedAndStoredMostRecentFirst)
{
    struct Case {
        const char* name;
        QByteArray before;
        std::function<void(Login&)> act;
        QByteArray user; // the stored User value
    } cases[] = {
        {"no file: empty lists, empty texts", "<none>", [](Login&) {}, ";"},
        {"value without a final ';' loses its last entry", "[Login]\r\nUser=a;b\r\n",
         [](Login& t) { EXPECT_EQ(t.box("ComboBox_User")->count(), 1); }, "a;"},
        {"third of five chosen goes first", "[Login]\r\nUser=a;b;c;d;e;\r\n",
         [](Login& t) {
             t.box("ComboBox_User")->setFocus();
             QTest::keyClick(t.box("ComboBox_User"), Qt::Key_Down);
             QTest::keyClick(t.box("ComboBox_User"), Qt::Key_Down);
             EXPECT_EQ(t.box("ComboBox_User")->currentText(), QStringLiteral("c"));
         },
         "c;a;b;d;e;"},
        {"typing over the preselected entry keeps it", "[Login]\r\nUser=alice;bob;\r\n",
         [](Login& t) { t.type(t.box("ComboBox_User"), QStringLiteral("carol")); },
         "carol;alice;bob;"},
        {"typing a prefix completes and selects that entry", "[Login]\r\nUser=alice;bob;\r\n",
         [](Login& t) {
             t.type(t.box("ComboBox_User"), QStringLiteral("B"));
             EXPECT_EQ(t.box("ComboBox_User")->currentText(), QStringLiteral("bob"));
             EXPECT_EQ(t.box("ComboBox_User")->lineEdit()->selectedText(), QStringLiteral("ob"));
         },
         "bob;alice;"},
        {"deleting the completion leaves no entry selected", "[Login]\r\nUser=alice;bob;\r\n",
         [](Login& t) {
             t.type(t.box("ComboBox_User"), QStringLiteral("al"));
             QTest::keyClick(t.box("ComboBox_User")->lineEdit(), Qt::Key_Backspace);
             EXPECT_EQ(t.box("ComboBox_User")->currentIndex(), -1);
         },
         "al;alice;bob;"},
        {"a sixth value drops the oldest", "[Login]\r\nUser=a;b;c;d;e;\r\n",
         [](Login& t) { t.type(t.box("ComboBox_User"), QStringLiteral("zed")); }, "zed;a;b;c;d;"},
        // Pasted with line breaks, the text would write sections and keys of its own.
        {"a pasted value with a line break is not stored",
         "[Login]\r\nUser=a;b;\r\n[Other]\r\nsecret=kept\r\n",
         [](Login& t) {
             t.paste(t.box("ComboBox_User"), QStringLiteral("scott\r\n[x]"));
             t.paste(t.box("ComboBox_Base"), QStringLiteral("[Other]\r\nsecret=stolen"));
         },
         "a;b;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(history);
        if (c.before != "<none>")
            writeHistory(c.before);
        open();
        if (c.before == "<none>") {
            EXPECT_EQ(box("ComboBox_User")->count(), 0);
            EXPECT_EQ(box("ComboBox_User")->currentText(), QString());
        } else {
            EXPECT_EQ(box("ComboBox_User")->view()->sizeHintForRow(0), 15);
        }
        c.act(*this);
        destroy();
        EXPECT_TRUE(historyBytes().contains("User=" + c.user + "\r\n")) << historyBytes().data();
        if (c.before.contains("[Other]")) {
            EXPECT_EQ(historyBytes(), "[Login]\r\nUser=a;b;\r\nBase=\r\nTable=;\r\n[Other]\r\n"
                                      "secret=kept\r\n");
        }
    }
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(Login, AnUnwritableHistoryIsReportedAndTheDialogStillCloses)
{
    QFile blocker(folder.path(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    history = folder.path(QStringLiteral("file/Login.ini"));
    open();
    destroy();
    EXPECT_FALSE(dialog);
    ASSERT_EQ(prompts.texts().size(), 1);
    EXPECT_TRUE(prompts.texts().front().startsWith(QStringLiteral("Не удалось записать файл \"") +
                                                   QDir::toNativeSeparators(history) +
                                                   QStringLiteral("\". ")))
        << prompts.texts().front().toStdString();
    EXPECT_EQ(prompts.shown.at(0).kind, ScriptedPrompts::Kind::Error);
}

} // namespace
} // namespace varnel::test
