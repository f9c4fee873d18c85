#include "localetext.h"

#include "civiltime.h"

namespace varnel {

LocaleText LocaleText::current()
{
    return LocaleText(QLocale());
}

LocaleText::LocaleText(const QLocale& locale)
    : m_locale(locale), m_shortDate(locale.dateFormat(QLocale::ShortFormat)),
      m_longTime(withoutTimeZone(locale.timeFormat(QLocale::LongFormat)))
{}

QString LocaleText::dateText(QDate day) const
{
    return m_locale.toString(day, m_shortDate);
}

QString LocaleText::dateTimeText(QDate day, QTime time) const
{
    QString text = dateText(day);
    if (time != QTime(0, 0)) {
        text += QLatin1Char(' ');
        text += m_locale.toString(time, m_longTime);
    }
    return text;
}

QString LocaleText::dateTimeText(int64_t seconds) const
{
    const civil::Ymd ymd = civil::civilFromDays(civil::dayOf(seconds));
    const auto sod = static_cast<int>(civil::secondOfDay(seconds));
    return dateTimeText(
        QDate(static_cast<int>(ymd.year), static_cast<int>(ymd.month), static_cast<int>(ymd.day)),
        QTime(sod / 3600, sod / 60 % 60, sod % 60));
}

QString LocaleText::timeStamp(const QDateTime& now) const
{
    const QTime time = now.time();
    // Milliseconds never show, so they must not keep a stamp at 00:00:00.5 from counting as
    // midnight.
    return dateTimeText(now.date(), QTime(time.hour(), time.minute(), time.second()));
}

QString LocaleText::withoutTimeZone(const QString& format)
{
    QString out;
    out.reserve(format.size());
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            out += c;
        } else if (!quoted && c == QLatin1Char('t')) {
            while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('t'))
                ++i;
            while (!out.isEmpty() && out.back().isSpace())
                out.chop(1);
        } else {
            out += c;
        }
    }
    return out.trimmed();
}

} // namespace varnel
