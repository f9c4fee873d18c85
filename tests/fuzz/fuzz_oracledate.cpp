// The embedded engine's reader of quoted dates: any text in any picture fails with an Oracle
// error or gives a real day, and the date text that the program writes into a statement in
// any locale reads back as the same day.

#include "base/civiltime.h"
#include "base/localetext.h"
#include "db/dberror.h"
#include "db/embedded/oracledate.h"
#include "fuzzcheck.h"

#include <QDate>
#include <QList>
#include <QLocale>

#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

using namespace varnel;
using varnel::embedded::DateFormat;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QList<QLocale> locales =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    FuzzedDataProvider provider(data, size);
    const QLocale& locale =
        locales[provider.ConsumeIntegralInRange<qsizetype>(0, locales.size() - 1)];
    const LocaleText localeText(locale);
    const int currentYear = provider.ConsumeIntegralInRange(1950, 2150);

    // A day of any year that the program writes into a statement reads back as that day, in
    // every locale: four digits of year and the digits 0-9, whatever the locale writes.
    const QString format = localeText.statementDateFormat();
    const int year = provider.ConsumeIntegralInRange(1, 9999);
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
