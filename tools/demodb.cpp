#include "demodb.h"

#include "base/civiltime.h"
#include "db/logtableschema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlite3.h>

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

namespace varnel::demo {

namespace {

// SplitMix64: tiny, fast and the same on every platform, unlike the standard distributions.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 <= value < bound
    uint64_t below(uint64_t bound) { return bound == 0 ? 0 : next() % bound; }
    // true with a chance of perMille / 1000
    bool chance(unsigned perMille) { return below(1000) < perMille; }
    template <typename T, size_t N> const T& pick(const std::array<T, N>& items)
    {
        return items[below(N)];
    }
    // Skewed towards the front of the list, as real usage is: a few tables take most changes.
    template <typename T, size_t N> const T& pickSkewed(const std::array<T, N>& items)
    {
        const uint64_t a = below(N), b = below(N);
        return items[a < b ? a : b];
    }

private:
    uint64_t m_state;
};

constexpr std::array<std::string_view, 36> kTables = {
    "ORDERS",       "ORDER_ITEMS",     "CUSTOMERS",      "INVOICES",       "PAYMENTS",
    "PRODUCTS",     "PRICE_LIST",      "STOCK_MOVES",    "WAREHOUSES",     "EMPLOYEES",
    "DEPARTMENTS",  "CONTRACTS",       "CONTRACT_LINES", "SUPPLIERS",      "DELIVERIES",
    "RETURNS",      "DISCOUNTS",       "BANK_ACCOUNTS",  "CURRENCY_RATES", "TAX_RATES",
    "ADDRESSES",    "PHONES",          "USERS",          "ROLES",          "USER_ROLES",
    "DOCUMENTS",    "DOC_ATTACHMENTS", "CASH_ORDERS",    "GL_ENTRIES",     "BUDGETS",
    "PROJECTS",     "TASKS",           "TIMESHEETS",     "ASSETS",         "СКЛАД_ОСТАТКИ",
    "СПРАВОЧНИК_ЕИ"};

constexpr std::array<std::string_view, 18> kOsUsers = {
    "ivanov",    "petrova", "s.orlov",   "admin",    "Administrator", "kuznetsov",
    "a.volkova", "Сидоров", "Кузнецова", "Смирнов",  "Попова",        "Лебедев",
    "m.novikov", "oper1",   "oper2",     "buh_main", "Бухгалтер",     "svc_import"};

constexpr std::array<std::string_view, 16> kComputers = {
    "WS12",  "WS120",  "WS7",     "PC1",    "PC10",      "PC11",       "SRV01",  "SRV02",
    "BUH01", "KASSA3", "LAPTOP7", "DevBox", "ТЕРМИНАЛ1", "NB_PETROVA", "SKLAD2", "REPORTS"};

constexpr std::array<std::string_view, 14> kDbUsers = {
    "APPUSER",       "SCOTT",     "ADMIN",  "SYSADMIN", "HR",     "FIN", "APP-BATCH",
    "REPORT-SVC-01", "WAREHOUSE", "IMPORT", "appuser",  "Кассир", "OPS", "SYSTEM"};

constexpr std::array<std::string_view, 5> kNoHyphenInfo = {
    "SYSTEM JOB", "scheduler", "Планировщик заданий", "DBMS_JOB 42", "replication"};

constexpr std::array<std::string_view, 12> kFields = {
    "STATUS",  "PRICE",      "QTY",      "NAME",    "AMOUNT", "DUE_DATE",
    "COMMENT", "MANAGER_ID", "DISCOUNT", "ADDRESS", "PHONE",  "NOTE"};

constexpr std::array<std::string_view, 10> kWords = {
    "Новый",   "В работе",        "Закрыт",      "Отменён",          "approved",
    "pending", "ООО \"Ромашка\"", "Иванов И.И.", "ул. Ленина, д. 5", "shipped"};

std::string number(Random& random, uint64_t bound)
{
    return std::to_string(random.below(bound));
}

std::string money(Random& random)
{
    const uint64_t cents = random.below(10000000);
    std::string text = std::to_string(cents / 100) + ".";
    text += static_cast<char>('0' + cents / 10 % 10);
    text += static_cast<char>('0' + cents % 10);
    return text;
}

// Cuts at a character boundary so that the text stays within `bytes` bytes (VARCHAR2(4000)
// counts bytes in a default Oracle database).
void cutTo(std::string& text, size_t bytes)
{
    if (text.size() <= bytes)
        return;
    size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
}

std::string changeText(Random& random, std::string_view action)
{
    std::string text;
    const uint64_t kind = random.below(100);
    if (action == "INSERT") {
        text = "ID=" + number(random, 1000000) + ", " + std::string(random.pick(kFields)) + "='" +
               std::string(random.pick(kWords)) + "'";
    } else if (action == "DELETE") {
        text = "ID=" + number(random, 1000000) +
               (kind < 50 ? ", удалено по заявке №" + number(random, 5000)
                          : ", deleted by cleanup job");
    } else if (kind < 30) {
        text = "Изменено поле " + std::string(random.pick(kFields)) + ": '" +
               std::string(random.pick(kWords)) + "' -> '" + std::string(random.pick(kWords)) + "'";
    } else {
        const uint64_t count = 1 + random.below(4);
        for (uint64_t i = 0; i < count; ++i) {
            if (i > 0)
                text += "; ";
            text +=
                std::string(random.pick(kFields)) + ": " + money(random) + " -> " + money(random);
        }
    }
    // Some writers log every changed column on a line of its own.
    if (random.chance(30)) {
        const char* lineBreak = random.chance(500) ? "\r\n" : "\n";
        const uint64_t lines = 2 + random.below(5);
        for (uint64_t i = 0; i < lines; ++i)
            text += lineBreak + std::string(random.pick(kFields)) + " = " +
                    std::string(random.pick(kWords));
    }
    // A few record whole rows: long texts, some at the column's limit.
    if (random.chance(12)) {
        const size_t target = random.chance(200) ? 4000 : 1000 + random.below(3000);
        while (text.size() < target)
            text +=
                "; " + std::string(random.pick(kFields)) + "=" + std::string(random.pick(kWords));
        cutTo(text, target);
    }
    return text;
}

std::string userInfo(Random& random)
{
    if (random.chance(15))
        return std::string(random.pick(kNoHyphenInfo));
    // Segments are separated by " - "; only the database user may hold a hyphen itself.
    return std::string(random.pickSkewed(kOsUsers)) + " - " + std::string(random.pick(kComputers)) +
           " - " + std::string(random.pickSkewed(kDbUsers));
}

std::string actionText(Random& random)
{
    const uint64_t roll = random.below(1000);
    if (roll < 450)
        return "INSERT";
    if (roll < 850)
        return "UPDATE";
    if (roll < 985)
        return "DELETE";
    return "update"; // a writer that logs in lower case
}

void check(sqlite3* db, int rc, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

void bindText(sqlite3_stmt* st, int index, const std::string* text)
{
    if (text == nullptr)
        sqlite3_bind_null(st, index);
    else
        sqlite3_bind_text(st, index, text->data(), static_cast<int>(text->size()),
                          SQLITE_TRANSIENT);
}

} // namespace

void generate(const Options& options)
{
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_$#]*$"));
    if (!identifier.match(options.table).hasMatch())
        throw std::runtime_error("not a table name: " + options.table.toStdString());
    if (options.records < 0)
        throw std::runtime_error("the number of records cannot be negative");
    if (QFileInfo::exists(options.path))
        throw std::runtime_error(options.path.toStdString() +
                                 " exists already; it is left as it is");

    const QString partial = options.path + QStringLiteral(".part");
    QFile::remove(partial);
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(partial.toUtf8().constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    try {
        check(db, rc, "cannot create the database");
        check(db,
              sqlite3_exec(db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;", nullptr,
                           nullptr, nullptr),
              "cannot set up the database");
        check(db,
              sqlite3_exec(db, createLogTableStatement(options.table).toUtf8().constData(), nullptr,
                           nullptr, nullptr),
              "cannot create the log table");
        check(db, sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), "cannot begin");

        sqlite3_stmt* insert = nullptr;
        const QString sql =
            QStringLiteral("insert into %1 (sid, ddate, stable, saction, schanges, suser_info) "
                           "values (?1, ?2, ?3, ?4, ?5, ?6)")
                .arg(options.table);
        check(db, sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &insert, nullptr),
              "cannot prepare");

        Random random(options.seed ^ 0x5641524E454C2D31ull);
        const int64_t begin = civil::toSeconds(2025, 1, 1, 0, 0, 0);
        const int64_t span = civil::toSeconds(2027, 1, 1, 0, 0, 0) - begin;
        int64_t clock = begin;
        for (int64_t i = 0; i < options.records; ++i) {
            // The pauses average 0.96 step (one change in 25 shares its second). The step is
            // aimed anew at the time left, one record short, so that the records fill the two
            // years instead of piling up on the last second when a run of long pauses overshoots.
            const int64_t left = begin + span - clock;
            const int64_t step =
                std::max<int64_t>(left * 100 / ((options.records - i + 1) * 96), 1);
            // Changes arrive in bursts: some in the same second as the one before, most after
            // a random pause; now and then a late writer stamps a time a little in the past.
            if (!random.chance(40))
                clock += static_cast<int64_t>(random.below(static_cast<uint64_t>(2 * step) + 1));
            clock = std::min(clock, begin + span - 1);
            int64_t stamp = clock;
            if (random.chance(20))
                stamp -= static_cast<int64_t>(random.below(600));
            if (random.chance(10)) // nightly jobs write exactly at midnight
                stamp = civil::dayOf(stamp) * civil::kSecondsPerDay;
            stamp = std::max(stamp, begin);

            const std::string action = actionText(random);
            std::string table(random.pickSkewed(kTables));
            if (random.chance(20)) // a writer that names its table in lower case
                for (char& c : table)
                    if (c >= 'A' && c <= 'Z')
                        c = static_cast<char>(c - 'A' + 'a');
            const std::string changes = changeText(random, action);
            const std::string info = userInfo(random);
            char date[19];
            civil::formatStoredDateTime(stamp, date);
            const std::string dateText(date, 19);

            // Every column may be NULL; the rarer, the more a real writer relies on it.
            if (random.chance(2))
                sqlite3_bind_null(insert, 1);
            else
                sqlite3_bind_int64(insert, 1, i + 1);
            bindText(insert, 2, random.chance(2) ? nullptr : &dateText);
            bindText(insert, 3, random.chance(5) ? nullptr : &table);
            bindText(insert, 4, random.chance(8) ? nullptr : &action);
            bindText(insert, 5, random.chance(10) ? nullptr : &changes);
            bindText(insert, 6, random.chance(10) ? nullptr : &info);
            check(db, sqlite3_step(insert), "cannot insert a record");
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        check(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), "cannot commit");
        check(db, sqlite3_close(db), "cannot close the database");
        db = nullptr;
    } catch (...) {
        sqlite3_close(db);
        QFile::remove(partial);
        throw;
    }
    if (!QFile::rename(partial, options.path)) {
        QFile::remove(partial);
        throw std::runtime_error("cannot create " + options.path.toStdString());
    }
}

} // namespace varnel::demo
