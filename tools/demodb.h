#pragma once

#include <QString>

#include <cstdint>

namespace varnel::demo {

struct Options {
    QString path;
    QString table = QStringLiteral("LOG_TABLE");
    int64_t records = 100000;
    uint64_t seed = 1;
};

// Creates a new embedded log database at `path` holding one log table of `records` records,
// as the triggers of a busy application would have written them over two years (2025 and
// 2026). The same options always give the same records. The file appears only when it is
// complete; an existing file is never touched. Raises std::runtime_error on failure.
void generate(const Options& options);

} // namespace varnel::demo
