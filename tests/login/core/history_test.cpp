#include "base/ansicodepage.h"
#include "base/error.h"
#include "common/testsupport.h"
#include "login/core/historyfile.h"
#include "login/core/historylist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <optional>

#ifndef Q_OS_WIN
#include <pwd.h>
#include <unistd.h>
#endif

using namespace varnel;
using varnel::test::TempFolder;

namespace {

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

const QList<std::pair<QString, QString>> kLoginValues = {
    {QStringLiteral("User"), QStringLiteral("scott;")},
    {QStringLiteral("Base"), QStringLiteral("ORCL;")},
    {QStringLiteral("Table"), QStringLiteral("LOG;")},
};

} // namespace

TEST(HistoryList, ParsingKeepsEveryEntryEndedBySemicolon)
{
    const std::pair<QString, QStringList> cases[] = {
        {"A;B;C;", {"A", "B", "C"}},
        {";", {""}},
        {";;", {"", ""}},
        {"A;B", {"A"}},
        {" a ;b c;", {" a ", "b c"}},
        {QStringLiteral("Пётр;Иван;"), {QStringLiteral("Пётр"), QStringLiteral("Иван")}},
    };
    for (const auto& [value, entries] : cases)
        EXPECT_EQ(parseHistoryList(value), entries) << value.toStdString();
}

TEST(HistoryList, SerialisingPutsCurrentTextFirstAndKeepsFive)
{
    const QStringList five = {"u1", "u2", "u3", "u4", "u5"};
    const QStringList six = {"u1", "u2", "u3", "u4", "u5", "u6"};
    struct Case {
        QString current;
        QStringList items;
        int selected;
        QString value;
    };
    const Case cases[] = {
        {"scott", {}, -1, "scott;"},
        {"", {"a", "b"}, -1, ";a;b;"},
        {"u3", five, 2, "u3;u1;u2;u4;u5;"},
        {"new", five, -1, "new;u1;u2;u3;u4;"},
        {"u1", six, 0, "u1;u2;u3;u4;u5;"},
        {"u6", six, 5, "u6;u1;u2;u3;u4;"},
        {"u2", {"u1", "u2"}, 1, "u2;u1;"},
        // A line break would end the value's line in the file: such an entry is left out.
        {"a\r\n[x]", {"u1", "u\n2", "u3"}, -1, "u1;u3;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.toStdString());
        EXPECT_EQ(serialiseHistoryList(c.current, c.items, c.selected), c.value);
    }
}

TEST(LoginHistoryFile, ReadsLikeGetPrivateProfileString)
{
    const TempFolder folder;
    const QString path = folder.path("Login.ini");
    struct Case {
        const char* what;
        std::optional<QByteArray> file;
        QString key;
        QString value;
    };
    const Case cases[] = {
        {"no file", std::nullopt, "User", ""},
        {"plain", "[Login]\r\nUser=A;B;\r\nBase=ORCL;\r\n", "Base", "ORCL;"},
        {"names in any case", "[LOGIN]\nuser=x;\n", "User", "x;"},
        {"blanks around", "  [Login]\n\t User \t=  A; B; \t\n", "User", "A; B;"},
        {"double quotes", "[Login]\nUser=\" a;\"\n", "User", " a;"},
        {"one pair only", "[Login]\nUser=\"\"a\"\"\n", "User", "\"a\""},
        {"comments", "[Login]\n;User=no;\n  ; User=no;\nUser=yes;\n", "User", "yes;"},
        {"other section", "[Other]\nUser=no;\n[Login]\nBase=b;\n", "User", ""},
        {"first of repeats", "[Login]\nUser=1;\nUser=2;\n", "User", "1;"},
        {"ANSI bytes", "[Login]\nUser=\xCF\xB8\xF2\xF0;\xC8\xE2\xE0\xED;\n", "User",
         QStringLiteral("Пётр;Иван;")},
        {"long value", "[Login]\nUser=" + QByteArray(3000, 'x') + "\n", "User",
         QString(2047, u'x')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Windows-1251 bytes, read in another active code page, are other letters.
        if (QByteArray(c.what) == "ANSI bytes" && ansiCodePage() != 1251)
            continue;
        QFile::remove(path);
        if (c.file)
            writeBytes(path, *c.file);
        EXPECT_EQ(LoginHistoryFile(path).readString("Login", c.key), c.value);
    }
}

// Reading drops blanks around a value and one pair of enclosing quotes: a value written as it
// is would come back without them.
TEST(LoginHistoryFile, EveryValueReadsBackAsWritten)
{
    const TempFolder folder;
    const QString path = folder.path("Login.ini");
    const std::pair<QString, QByteArray> cases[] = {
        {"scott;", "User=scott;"},
        {" scott;", "User=\" scott;\""},
        {"scott;\t", "User=\"scott;\t\""},
        {"\"a\"", "User=\"\"a\"\""},
        {"'a'", "User=\"'a'\""},
        {"\"", "User=\""},
        {"\"a;", "User=\"a;"},
        {"a\";'b", "User=a\";'b"},
        {"", "User="},
    };
    for (const auto& [value, line] : cases) {
        SCOPED_TRACE(value.toStdString());
        QFile::remove(path);
        LoginHistoryFile file(path);
        file.writeStrings("Login", {{"User", value}});
        EXPECT_EQ(readBytes(path), "[Login]\r\n" + line + "\r\n");
        EXPECT_EQ(file.readString("Login", "User"), value);
    }
}

TEST(LoginHistoryFile, NewFileHoldsTheSectionInAnsiWithCrLf)
{
    VARNEL_SKIP_UNLESS_WINDOWS_1251();
    const TempFolder folder;
    // The configuration folder need not exist yet.
    const QString path = folder.path("config/Varnel/Login.ini");
    LoginHistoryFile file(path);
    file.writeStrings("Login", {{"User", QStringLiteral("Пётр;Иван;")},
                                {"Base", "ORCL;"},
                                {"Table", QStringLiteral("Журнал;日;")}});
    EXPECT_EQ(readBytes(path), QByteArray("[Login]\r\n"
                                          "User=\xCF\xB8\xF2\xF0;\xC8\xE2\xE0\xED;\r\n"
                                          "Base=ORCL;\r\n"
                                          "Table=\xC6\xF3\xF0\xED\xE0\xEB;?;\r\n"));
    EXPECT_EQ(parseHistoryList(file.readString("Login", "User")),
              QStringList({QStringLiteral("Пётр"), QStringLiteral("Иван")}));
}

TEST(LoginHistoryFile, SavingChangesOnlyTheGivenKeys)
{
    VARNEL_SKIP_UNLESS_WINDOWS_1251();
    const TempFolder folder;
    const QString path = folder.path("Login.ini");
    struct Case {
        const char* what;
        QByteArray before;
        QByteArray after;
    };
    const Case cases[] = {
        {"others kept byte for byte",
         "; \xC4\xF0\xF3\xE3\xEE\xE5\r\n[Other]\nUser=keep\x98\xFF\r\n[login]\r\n"
         "  USER = old ;\r\nExtra=1\r\n\r\n; next\r\n[Last]\r\nK=v",
         "; \xC4\xF0\xF3\xE3\xEE\xE5\r\n[Other]\nUser=keep\x98\xFF\r\n[login]\r\n"
         "USER=scott;\r\nExtra=1\r\nBase=ORCL;\r\nTable=LOG;\r\n\r\n; next\r\n[Last]\r\nK=v"},
        {"line feeds kept where not rewritten", "[Login]\nUser=old;\n[X]\nk=v\n",
         "[Login]\nUser=scott;\r\nBase=ORCL;\r\nTable=LOG;\r\n[X]\nk=v\n"},
        {"section appended after a last line without its end", "[A]\nK=v",
         "[A]\nK=v\r\n[Login]\r\nUser=scott;\r\nBase=ORCL;\r\nTable=LOG;\r\n"},
        {"repeated section: the first is the one read",
         "[Login]\r\nUser=1;\r\n[Login]\r\nUser=2;\r\n",
         "[Login]\r\nUser=scott;\r\nBase=ORCL;\r\nTable=LOG;\r\n[Login]\r\nUser=2;\r\n"},
        {"commented key stays a comment", "[Login]\r\n;User=old;\r\n",
         "[Login]\r\nUser=scott;\r\nBase=ORCL;\r\nTable=LOG;\r\n;User=old;\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(path, c.before);
        LoginHistoryFile file(path);
        file.writeStrings("Login", kLoginValues);
        EXPECT_EQ(readBytes(path), c.after);
        for (const auto& [key, value] : kLoginValues)
            EXPECT_EQ(file.readString("Login", key), value);
    }
}

TEST(LoginHistoryFile, FailedSaveNamesTheFileAndLeavesWhatWasThere)
{
    const TempFolder folder;
    writeBytes(folder.path("plain"), "not a folder");
    ASSERT_TRUE(QDir().mkpath(folder.path("Login.ini")));
    writeBytes(folder.path("Login.ini/inside"), "kept");
    // The reason is the system's own text where the system refuses.
    for (const auto& [target, reason] :
         {std::pair(folder.path("plain/Login.ini"), QString()),
          std::pair(folder.path("Login.ini"), QStringLiteral("Это папка"))}) {
        SCOPED_TRACE(target.toStdString());
        const QString error = varnel::test::errorOf(
            [path = target] { LoginHistoryFile(path).writeStrings("Login", kLoginValues); });
        const QString said = QStringLiteral("Не удалось записать файл \"") +
                             QDir::toNativeSeparators(target) + QStringLiteral("\". ");
        EXPECT_TRUE(error.startsWith(said)) << error.toStdString();
        EXPECT_GT(error.size(), said.size());
        if (!reason.isEmpty()) {
            EXPECT_EQ(error, said + reason);
        }
    }
    EXPECT_EQ(readBytes(folder.path("plain")), "not a folder");
    EXPECT_EQ(readBytes(folder.path("Login.ini/inside")), "kept");
}

TEST(LoginHistoryFile, PathIsBesideTheProgramWhenThatFolderTakesFiles)
{
    const TempFolder folder;
    const QString config = folder.path("config");
    ASSERT_TRUE(QDir().mkpath(folder.path("empty")));
    ASSERT_TRUE(QDir().mkpath(folder.path("withFile")));
    writeBytes(folder.path("withFile/Login.ini"), "[Login]\r\n");
    ASSERT_TRUE(QDir().mkpath(folder.path("withFolder/Login.ini")));
    writeBytes(folder.path("plain"), "not a folder");
    const std::pair<QString, QString> cases[] = {
        {folder.path("empty"), folder.path("empty/Login.ini")},
        {folder.path("withFile"), folder.path("withFile/Login.ini")},
        {folder.path("withFolder"), config + "/Login.ini"},
        {folder.path("plain"), config + "/Login.ini"},
        {folder.path("missing"), config + "/Login.ini"},
    };
    for (const auto& [exeDir, expected] : cases)
        EXPECT_EQ(QDir::cleanPath(historyFilePath(exeDir, config)), expected)
            << exeDir.toStdString();
    // The probe leaves nothing behind.
    EXPECT_TRUE(QDir(folder.path("empty")).isEmpty());
    EXPECT_EQ(readBytes(folder.path("withFile/Login.ini")), "[Login]\r\n");
}

TEST(LoginHistoryFile, SystemFoldersAreThePrefixesAndWhatLiesBelowThem)
{
    const SystemFolders unix{{QStringLiteral("/usr"), QStringLiteral("/opt")}, Qt::CaseSensitive};
    const SystemFolders windows{
        {QStringLiteral("C:/Program Files"), QStringLiteral("C:/Program Files (x86)")},
        Qt::CaseInsensitive};
    struct Case {
        const SystemFolders& system;
        QString dir;
        bool expected;
    };
    const Case cases[] = {
        {unix, "/usr/bin", true},
        {unix, "/usr/local/bin", true},
        {unix, "/opt/varnel/bin", true},
        {unix, "/opt", true},
        {unix, "/usr", true},
        {unix, "/usr/bin/", true},
        {unix, "/usr/local/../bin", true},
        {unix, "/usr2/bin", false},
        {unix, "/optional", false},
        {unix, "/opt2/varnel", false},
        {unix, "/home/user/varnel/build/src", false},
        {unix, "/tmp/usr/bin", false},
        {unix, "/usr/../home/user/build", false},
        {unix, "/USR/bin", false}, // another folder where names keep their case
        {unix, "usr/bin", false},
        {unix, "", false},
        {windows, "C:/Program Files/Varnel", true},
        {windows, "c:/program files (x86)/varnel", true},
        {windows, "C:/PROGRAM FILES", true},
        {windows, "C:/Program Files Extra/Varnel", false},
        {windows, "C:/Program Files (x86)2/Varnel", false},
        {windows, "D:/Program Files/Varnel", false},
        {windows, "C:/Users/user/Varnel", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isSystemFolder(c.dir, c.system), c.expected) << c.dir.toStdString();
}

#ifndef Q_OS_WIN
// Symbolic links count both ways: where the folder is reached and where it really is.
TEST(LoginHistoryFile, SystemFoldersOfThisPlatformThroughLinks)
{
    const TempFolder folder;
    ASSERT_TRUE(QDir().mkpath(folder.path("build/src")));
    ASSERT_TRUE(QFile::link("/usr/bin", folder.path("toUsrBin")));
    ASSERT_TRUE(QFile::link(folder.path("build"), folder.path("toBuild")));
    const std::pair<QString, bool> cases[] = {
        {"/usr/bin", true},
        {"/usr/local/bin", true},
        {"/opt/varnel/bin", true},
        {folder.path("toUsrBin"), true},
        {folder.path("build/src"), false},
        {folder.path("toBuild/src"), false},
    };
    for (const auto& [dir, expected] : cases)
        EXPECT_EQ(isSystemFolder(dir), expected) << dir.toStdString();
}

// CI runs as root, which may write into /usr/bin: only the rule keeps the file out of it.
TEST(LoginHistoryFile, PathOfAnInstalledProgramIsInTheConfigFolderWhoeverRunsIt)
{
    const TempFolder folder;
    const QString config = folder.path("config");
    ASSERT_TRUE(QDir().mkpath(folder.path("build")));
    ASSERT_TRUE(QFile::link("/usr/bin", folder.path("toUsrBin")));
    const std::pair<QString, QString> cases[] = {
        {"/usr/bin", config + "/Login.ini"},
        {"/usr/local/bin", config + "/Login.ini"},
        {folder.path("toUsrBin"), config + "/Login.ini"},
        {folder.path("build"), folder.path("build/Login.ini")},
    };
    for (const auto& [exeDir, expected] : cases)
        EXPECT_EQ(QDir::cleanPath(historyFilePath(exeDir, config)), expected)
            << exeDir.toStdString();
}

// Without HOME, Qt would take the root folder for the home: the files would go to /.config.
TEST(LoginHistoryFile, WithoutHomeTheFilesGoUnderTheHomeOfThePasswordDatabase)
{
    const passwd* user = getpwuid(geteuid());
    if (!user || !user->pw_dir || QDir(QFile::decodeName(user->pw_dir)).isRoot())
        GTEST_SKIP() << "this user has no home of its own";
    const QString home = QDir::cleanPath(QFile::decodeName(user->pw_dir));
    const varnel::test::EnvRestorer homeVariable{"HOME"}, xdgVariable{"XDG_CONFIG_HOME"};
    const TempFolder folder;
    const QString app = QCoreApplication::applicationName();
    struct Case {
        std::optional<QByteArray> home, xdg;
        QString folder;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, home + "/.config/" + app},
        {"", "relative", home + "/.config/" + app},
        {std::nullopt, QFile::encodeName(folder.path("xdg")), folder.path("xdg/") + app},
        {QFile::encodeName(folder.path("home")), std::nullopt, folder.path("home/.config/") + app},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder.toStdString());
        c.home ? qputenv("HOME", *c.home) : qunsetenv("HOME");
        c.xdg ? qputenv("XDG_CONFIG_HOME", *c.xdg) : qunsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(userConfigFolder(), c.folder);
        EXPECT_EQ(historyFilePath("/opt/varnel/bin", userConfigFolder()), c.folder + "/Login.ini");
    }
}
#endif
