#pragma once

#include <QString>

namespace varnel {

// The title of every message box: the executable's file name without its folder, cut at its
// first full stop, every character after the first in lower case ("VARNEL.EXE" → "Varnel").
QString programTitle(const QString& executablePath);

// The default error display's text: a full stop is added when the last character's code in
// the ANSI code page is above the full stop's, so "...letter" gets one and "...!", "...)" and
// "..." do not.
QString withFullStop(const QString& message);

// What every caught database error shows: "Ошибка подключения к базе данных!\n" + message.
QString databaseErrorText(const QString& message);

} // namespace varnel
