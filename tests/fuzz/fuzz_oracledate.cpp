// The embedded engine's reader of quoted dates: any text in any picture fails with an Oracle
// error or gives a real day, and the date text that the program writes into a statement in
// any locale's short date format reads back as the same day.

#include "db/civiltime.h"
#include "db/dberror.h"
#include "db/embedded/oracledate.h"
#include "db/localetext.h"
#include "fuzzcheck.h"

#include <QDate>
#include <QList>
#include <QLocale>

#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

using namespace varnel;
using varnel::embedded::DateFormat;

namespace {

// Whether a Qt date format (quoted text aside) writes the year with two digits.
bool twoDigitYear(const QString& format)
{
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == u'\'')
            quoted = !quoted;
        if (quoted || format[i] != u'y')
            continue;
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == u'y')
            ++run;
        if (run == 2)
            return true;
        i += run - 1;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Oracle reads only ASCII digits in a date: the texts of a locale with other digits
    // (Arabic, Persian, ...) fail on both engines alike, which is no fault of this reader.
    static const QList<QLocale> locales = [] {
        QList<QLocale> asciiDigits;
        for (const QLocale& locale : QLocale::matchingLocales(
                 QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory))
            if (locale.zeroDigit() == QLatin1String("0"))
                asciiDigits.append(locale);
        return asciiDigits;
    }();
    FuzzedDataProvider provider(data, size);
    const QLocale& locale =
        locales[provider.ConsumeIntegralInRange<qsizetype>(0, locales.size() - 1)];
    const LocaleText localeText(locale);
    const int currentYear = provider.ConsumeIntegralInRange(1950, 2150);

    // A day the program writes in the locale's short date format reads back. With two digits
    // the text names the day of that year's century nearest to the current year (Oracle's
    // RR), so only such days can read back.
    const QString format = localeText.shortDateFormat();
    int year = provider.ConsumeIntegralInRange(1, 9999);
    if (twoDigitYear(format))
        year = DateFormat::rrYear(year % 100, currentYear);
    const int month = provider.ConsumeIntegralInRange(1, 12);
    const QDate day(year, month,
                    provider.ConsumeIntegralInRange(1, QDate(year, month, 1).daysInMonth()));
    const QString written = localeText.dateText(day);
    try {
        const int64_t seconds = DateFormat(format, locale).parse(written, currentYear);
        const civil::Ymd read = civil::civilFromDays(seconds / civil::kSecondsPerDay);
        FUZZ_CHECK(seconds % civil::kSecondsPerDay == 0 && read.year == year &&
                       read.month == unsigned(month) && read.day == unsigned(day.day()),
                   QStringLiteral("%1 in %2 (%3) reads as %4-%5-%6")
                       .arg(written, format, locale.name())
                       .arg(read.year)
                       .arg(read.month)
                       .arg(read.day));
    } catch (const DbError& error) {
        FUZZ_CHECK(false, QStringLiteral("%1 in %2 (%3): %4")
                              .arg(written, format, locale.name(), error.message()));
    }

    // Any text in any picture: an Oracle error or a real day.
    const bool ownPicture = provider.ConsumeBool();
    const QString picture =
        ownPicture ? QString::fromStdString(provider.ConsumeRandomLengthString(32)) : format;
    const QString text = QString::fromStdString(provider.ConsumeRemainingBytesAsString());
    try {
        const int64_t seconds = DateFormat(picture, locale).parse(text, currentYear);
        const civil::Ymd read = civil::civilFromDays(seconds / civil::kSecondsPerDay);
        FUZZ_CHECK(seconds % civil::kSecondsPerDay == 0 && read.year >= 1 && read.year <= 9999,
                   QStringLiteral("%1 in %2 reads as year %3").arg(text, picture).arg(read.year));
    } catch (const DbError& error) {
        FUZZ_CHECK(error.message().startsWith(QLatin1String("ORA-")), error.message());
    }
    return 0;
}
