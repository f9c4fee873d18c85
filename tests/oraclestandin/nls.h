#pragma once

#include "textcodec.h"

#include <QLocale>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <string>
#include <vector>

namespace varnel::standin {

// An Oracle NLS_DATE_FORMAT, read once: the Qt format that the embedded engine reads quoted
// dates with, and the writer of DATE values fetched as text. Elements: DD, MM, MON, MONTH, DY,
// DAY, YYYY, RRRR, RR, YY in any letter case, "quoted text", blanks and punctuation. Names are
// written in the letter case of their element (MON → JAN, Mon → Jan, mon → jan) and MONTH and
// DAY are padded to the longest name, as Oracle writes them.
class OracleDateFormat {
public:
    // Raises DbError ORA-01821 for anything else.
    OracleDateFormat(QStringView oracle, const QLocale& language);

    const QString& qtFormat() const { return m_qtFormat; }
    // Appends the UTF-8 text of a date (seconds of civiltime.h).
    void write(int64_t seconds, std::string& out) const;

private:
    enum class Kind : uint8_t { Day, Month, Year4, Year2, MonthName, DayName, Text };
    struct Element {
        Kind kind;
        std::string text;               // Text
        std::vector<std::string> names; // MonthName: 12 from January; DayName: 7 from Monday
    };

    std::vector<Element> m_elements;
    QString m_qtFormat;
};

// What NLS_LANG ("RUSSIAN_RUSSIA.CL8MSWIN1251") makes of a session: the date language, the
// decimal separator (Russian writes a comma) and the client character set. Unset or unknown
// parts leave Oracle's defaults: AMERICAN, ".", US7ASCII.
struct ClientSettings {
    QLocale language{QLocale::English, QLocale::UnitedStates};
    char decimalSeparator = '.';
    Charset charset = Charset::Ascii;
};

ClientSettings clientSettings(const QByteArray& nlsLang);

// The locale of an Oracle language name (NLS_DATE_LANGUAGE); raises DbError ORA-12705 for a
// name it does not know.
QLocale oracleLanguage(const QString& name);

} // namespace varnel::standin
