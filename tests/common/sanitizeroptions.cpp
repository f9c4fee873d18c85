// The sanitizers' settings of every test executable in the sanitizer builds (VARNEL_SANITIZE,
// VARNEL_TSAN).
// The runtimes read these before their environment variables, so a test run by hand reports
// exactly what ctest's run does.

extern "C" {

const char* __asan_default_options()
{
    return "detect_leaks=1:check_initialization_order=1:strict_init_order=1";
}

const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

// Leaks that third-party code makes and that our code cannot free; each entry says why.
const char* __lsan_default_options()
{
    return "suppressions=" VARNEL_LSAN_SUPPRESSIONS;
}

// The ThreadSanitizer build (VARNEL_TSAN): any report fails the test that made it.
const char* __tsan_default_options()
{
    return "halt_on_error=1:second_deadlock_stack=1:suppressions=" VARNEL_TSAN_SUPPRESSIONS;
}
}
