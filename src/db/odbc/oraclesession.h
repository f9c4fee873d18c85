#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace varnel::odbc {

// A Qt date format (the statement date format of LocaleText), tokenized as Qt writes with it
// (qtformat.h), in Oracle's format notation: d, dd → DD; M, MM → MM; MMM → MON;
// MMMM → MONTH; ddd → DY; dddd → DAY; yyyy → YYYY; yy → RR, so that a two-digit year reads
// with Oracle's nearest-century rule.
// Blanks and ASCII punctuation stay as they are; any other text (quoted literals, letters,
// characters outside ASCII) goes between double quotes. "dd.MM.yyyy" → "DD.MM.YYYY".
QString oracleDateFormat(const QString& qtFormat);

// Oracle's NLS_DATE_LANGUAGE for the locale's language ("RUSSIAN", "AMERICAN", "GERMAN");
// empty for a language that Oracle does not know under a name listed here.
QString oracleDateLanguage(const QLocale& locale);

// The statements that make an Oracle session read the date texts that the program writes:
// NLS_DATE_FORMAT set to the short date format and, when that format names months or
// weekdays, NLS_DATE_LANGUAGE set to the locale's language.
QStringList oracleSessionStatements(const QString& qtFormat, const QLocale& locale);

// NLS_LANG ("RUSSIAN_RUSSIA.CL8MSWIN1251") as the program's Oracle client is to read it. A value
// without a character set (none at all, "RUSSIAN_RUSSIA", "RUSSIAN_RUSSIA.") gets AL32UTF8, for
// which the client would otherwise take US7ASCII and turn every Cyrillic letter it converts
// into "?"; the language and territory stay what the client makes of them, and a character set
// the user chose stays as it is.
QByteArray oracleNlsLang(const QByteArray& nlsLang);

} // namespace varnel::odbc
