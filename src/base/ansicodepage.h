#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringView>
#include <QtGlobal>

namespace varnel {

// The encoding of the program's text files (login history, export): Windows' active ANSI code
// page on Windows, Windows-1251 everywhere else. Encoding never fails: a character the code page
// lacks becomes "?" (a surrogate pair, one character, becomes one "?"), with no best-fit
// look-alikes. Decoding is total: Windows-1251's one unassigned byte, 0x98, decodes to U+0098
// and encodes back to 0x98, so bytes read and written again come out unchanged.

// The code page in force: GetACP() on Windows, 1251 elsewhere.
unsigned ansiCodePage();

QByteArray toAnsi(const QString& text);
// The most bytes one UTF-16 unit can become: a Windows code page may be UTF-8.
#ifdef Q_OS_WIN
constexpr int kMaxAnsiBytesPerUnit = 3;
#else
constexpr int kMaxAnsiBytesPerUnit = 1;
#endif

// Appends the bytes toAnsi gives, with no text of its own in between.
void appendAnsi(QStringView text, QByteArray& out);
// The same for the text up to its first CR or LF; returns where that is (the size when there is
// none). Texts of many lines are split and encoded in one pass.
qsizetype appendAnsiUntilLineBreak(QStringView text, QByteArray& out);
QString fromAnsi(const QByteArray& bytes);

// The byte `c` becomes; for a code page of two-byte characters, the first of them. The default
// error display compares it with the full stop's.
unsigned char ansiCode(QChar c);

} // namespace varnel
