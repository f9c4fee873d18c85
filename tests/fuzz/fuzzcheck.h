#pragma once

#include <QString>

#include <cstdio>
#include <cstdlib>

// A property that must hold for every input. A violation aborts, which libFuzzer records as a
// crash with the input that caused it.
#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property violated: %s\n  %s\n", #condition,                      \
                         QString(what).toUtf8().constData());                                      \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
