#pragma once

struct sqlite3;

namespace varnel::embedded {

// Registers on one SQLite connection the Oracle functions that the program's statements use,
// with Oracle's semantics: upper (Unicode), substr with 2 and 3 arguments (position 0 counts
// as 1, a negative one from the end, a length below 1 gives NULL), instr with 2 to 4 arguments
// (0 when not found), trunc of a date (a number is truncated as a number), and to_date and
// to_timestamp in the one format each that a bound date-time is written in
// ('YYYY-MM-DD HH24:MI:SS', 'YYYY-MM-DD HH24:MI:SS.FF9'). Positions count characters, not
// bytes. Each returns NULL for a NULL argument and NULL where Oracle's result would be an empty
// text. SQLite resolves a function by name and argument count, so every count the program calls
// must be registered, or SQLite's built-in of that count answers. Also the collation
// kDateTimeCollation.
void registerOracleFunctions(sqlite3* db);

// The collation under which stored date-time texts compare as the times they stand for, as
// Oracle compares a DATE with a TIMESTAMP: '2025-01-02 03:04:05' equals
// '2025-01-02 03:04:05.000000', and '... 05.5' equals '... 05.500000000'.
constexpr const char* kDateTimeCollation = "varnel_datetime";

} // namespace varnel::embedded
