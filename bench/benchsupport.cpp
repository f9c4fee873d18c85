#include "benchsupport.h"

#include "demodb.h"

#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

extern char** environ;

namespace varnel::bench {

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::optional<Options> parseOptions(const QStringList& args)
{
    Options options;
    options.data = QDir::temp().filePath(QStringLiteral("varnel-bench"));
    bool understood = args.size() % 2 == 1;
    for (qsizetype i = 1; understood && i + 1 < args.size(); i += 2) {
        const QString& value = args[i + 1];
        if (args[i] == QLatin1String("--records")) {
            options.sizes = {value.toLongLong()};
        } else if (args[i] == QLatin1String("--sizes")) {
            options.sizes.clear();
            for (const QString& size : value.split(QLatin1Char(',')))
                options.sizes.push_back(size.toLongLong());
        } else if (args[i] == QLatin1String("--runs")) {
            options.runs = std::max(1, value.toInt());
        } else if (args[i] == QLatin1String("--data")) {
            options.data = value;
        } else if (args[i] == QLatin1String("--sqlite3")) {
            options.shell = value.toStdString();
        } else {
            understood = false;
        }
    }
    if (!understood) {
        std::fprintf(stderr,
                     "usage: %s [--records N | --sizes N,N,...] [--runs K] [--data DIR] "
                     "[--sqlite3 PATH]\n",
                     QFileInfo(args.front()).fileName().toUtf8().constData());
        return std::nullopt;
    }
    return options;
}

double runShell(const std::string& shell, const std::string& file, const std::string& sql)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv = {const_cast<char*>(shell.c_str()), const_cast<char*>(file.c_str()),
                               const_cast<char*>(sql.c_str()), nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, shell.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start " + shell);
    int status = 0;
    waitpid(pid, &status, 0);
    const auto end = Clock::now();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(shell + " failed on " + file);
    return seconds(end - start);
}

QString demoDatabase(const QString& folder, long long records)
{
    QDir().mkpath(folder);
    const QString file = QDir(folder).filePath(QStringLiteral("bench-%1.sqlite").arg(records));
    if (!QFileInfo::exists(file)) {
        demo::Options options;
        options.path = file;
        options.records = records;
        demo::generate(options);
    }
    return file;
}

} // namespace varnel::bench
