// Writes a demo log database, standing in for the applications whose triggers fill a real
// log table: varnel-demo-db PATH [--table NAME] [--records N] [--seed S]

#include "demodb.h"

#include <QString>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace {

int usage()
{
    std::fputs("usage: varnel-demo-db PATH [--table NAME] [--records N] [--seed S]\n", stderr);
    return 2;
}

bool parseNumber(const char* text, long long& value)
{
    try {
        size_t used = 0;
        value = std::stoll(text, &used);
        return used == std::strlen(text);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

int main(int argc, char** argv)
{
    varnel::demo::Options options;
    bool havePath = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        long long value = 0;
        if ((arg == "--table" || arg == "--records" || arg == "--seed") && i + 1 == argc)
            return usage();
        if (arg == "--table") {
            options.table = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--records") {
            if (!parseNumber(argv[++i], value) || value < 0)
                return usage();
            options.records = value;
        } else if (arg == "--seed") {
            if (!parseNumber(argv[++i], value))
                return usage();
            options.seed = static_cast<uint64_t>(value);
        } else if (!havePath && !arg.starts_with("--")) {
            options.path = QString::fromLocal8Bit(argv[i]);
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
    return 0;
}
