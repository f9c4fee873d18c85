// The sanitizers' settings of every test executable in the sanitizer build (VARNEL_SANITIZE).
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
}
