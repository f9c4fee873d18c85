#include "db/connectionstring.h"
#include "db/dberror.h"

#include <gtest/gtest.h>

using namespace varnel;

TEST(ConnectionString, PlainValuesGiveTheLoginStringExactly)
{
    EXPECT_EQ(buildConnectionString(QStringLiteral("tiger"), QStringLiteral("scott"),
                                    QStringLiteral("ORCL")),
              QStringLiteral("Provider=MSDAORA.1;Password=tiger;User ID=scott;Data Source=ORCL;"
                             "Persist Security Info=False"));
    // Characters other than ";" and '"' stay unquoted, blanks included.
    EXPECT_EQ(buildConnectionString(QStringLiteral(" p=w 'x' "), QStringLiteral("Пётр"),
                                    QStringLiteral("host:1521/svc")),
              QStringLiteral(
                  "Provider=MSDAORA.1;Password= p=w 'x' ;User ID=Пётр;Data Source=host:1521/svc;"
                  "Persist Security Info=False"));
}

TEST(ConnectionString, ValuesWithSemicolonsOrQuotesAreQuotedAndReadBackWhole)
{
    struct Case {
        QString password, user, dataSource, expectedPasswordPart;
    };
    const Case cases[] = {
        {"se;cret", "scott", "ORCL", "Password=\"se;cret\";"},
        {"a\"b", "scott", "ORCL", "Password=\"a\"\"b\";"},
        {"\"", "scott", "ORCL", "Password=\"\"\"\";"},
        {";Data Source=evil.sqlite", "scott", "ORCL", "Password=\";Data Source=evil.sqlite\";"},
        {"", "", "", "Password=;"},
        {"x=y", "u;v", "a\"b.sqlite", "Password=x=y;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password.toStdString());
        const QString text = buildConnectionString(c.password, c.user, c.dataSource);
        EXPECT_TRUE(text.contains(c.expectedPasswordPart)) << text.toStdString();
        const ConnectionParams params = parseConnectionString(text);
        EXPECT_EQ(params.password, c.password);
        EXPECT_EQ(params.user, c.user);
        EXPECT_EQ(params.dataSource, c.dataSource);
        EXPECT_EQ(params.provider, QStringLiteral("MSDAORA.1"));
    }
}

TEST(ConnectionString, ParsingToleratesKeyCaseBlanksAndStrayParts)
{
    const ConnectionParams params = parseConnectionString(
        QStringLiteral(" data source =demo.db;;USER ID=u; Password=\"p;q\" ;junk;Extra=1;"));
    EXPECT_EQ(params.dataSource, QStringLiteral("demo.db"));
    EXPECT_EQ(params.user, QStringLiteral("u"));
    EXPECT_EQ(params.password, QStringLiteral("p;q"));
    ASSERT_EQ(params.all.size(), 4);
    EXPECT_EQ(params.all.back().first, QStringLiteral("Extra"));
}

TEST(ConnectionString, UnterminatedQuoteIsAnError)
{
    EXPECT_THROW(parseConnectionString(QStringLiteral("Password=\"abc;User ID=x")), DbError);
}

TEST(ConnectionString, LocalFileDataSources)
{
    const std::pair<const char*, bool> cases[] = {
        {"demo.sqlite", true},    {"C:\\logs\\LOG.DB", true},
        {"/tmp/a.Sqlite3", true}, {"ORCL", false},
        {"host:1521/svc", false}, {"file.db.bak", false},
        {"mydb", false},          {"", false},
    };
    for (const auto& [source, local] : cases) {
        ConnectionParams params;
        params.dataSource = QString::fromUtf8(source);
        EXPECT_EQ(params.isLocalFile(), local) << source;
    }
}
