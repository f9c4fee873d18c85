// Writes a demo log database, standing in for the applications whose triggers fill a real
// log table: varnel-demo-db PATH [--table NAME] [--records N] [--seed S]; packaged with
// Varnel so that a user can try the program without Oracle.

#include "demodb.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <exception>
#include <string>

namespace {

const char kUsage[] = "usage: varnel-demo-db PATH [--table NAME] [--records N] [--seed S]\n";

int usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

int help()
{
    std::fputs(kUsage, stdout);
    std::fputs("\n"
               "Writes a new demo log database for Varnel's embedded engine at PATH (a name\n"
               "ending in .sqlite, .sqlite3 or .db): N records (default 100000) of the years\n"
               "2025 and 2026 in the log table NAME (default LOG_TABLE); the same seed\n"
               "(default 1) gives the same records. An existing file is never touched.\n"
               "\n"
               "Then start Varnel and log in with any user and password, PATH as the\n"
               "database and NAME as the log table.\n",
               stdout);
    return 0;
}

bool parseNumber(const QString& text, long long& value)
{
    try {
        const std::string digits = text.toStdString();
        size_t used = 0;
        value = std::stoll(digits, &used);
        return used == digits.size();
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

int main(int argc, char** argv)
{
    // The arguments as Qt reads them: on Windows from the wide command line, so that a path
    // outside the active code page arrives whole (argv holds it with '?' in place of those
    // characters).
    const QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    varnel::demo::Options options;
    bool havePath = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        long long value = 0;
        if (arg == u"--help" || arg == u"-h")
            return help();
        if ((arg == u"--table" || arg == u"--records" || arg == u"--seed") && i + 1 == args.size())
            return usage();
        if (arg == u"--table") {
            options.table = args[++i];
        } else if (arg == u"--records") {
            if (!parseNumber(args[++i], value) || value < 0)
                return usage();
            options.records = value;
        } else if (arg == u"--seed") {
            if (!parseNumber(args[++i], value))
                return usage();
            options.seed = static_cast<uint64_t>(value);
        } else if (!havePath && !arg.startsWith(u"--")) {
            options.path = arg;
            havePath = true;
        } else {
            return usage();
        }
    }
    if (!havePath)
        return usage();
    try {
        varnel::demo::generate(options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "varnel-demo-db: %s\n", error.what());
        return 1;
    }
    std::printf("%s: %lld records in table %s\n", options.path.toLocal8Bit().constData(),
                static_cast<long long>(options.records), options.table.toLocal8Bit().constData());
    // The login dialog reads a relative name against Varnel's own working folder, which a menu
    // start does not share: the full path is what to type.
    std::printf("Log in to Varnel with any user and password, the database %s and the log "
                "table %s.\n",
                QFileInfo(options.path).absoluteFilePath().toLocal8Bit().constData(),
                options.table.toLocal8Bit().constData());
    return 0;
}
