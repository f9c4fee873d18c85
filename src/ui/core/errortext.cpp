#include "ui/core/errortext.h"

#include "base/ansicodepage.h"

#include <QFileInfo>

namespace varnel {

QString programTitle(const QString& executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString withFullStop(const QString& message)
{
    if (!message.isEmpty() && ansiCode(message.back()) > '.')
        return message + QLatin1Char('.');
    return message;
}

QString databaseErrorText(const QString& message)
{
    return QStringLiteral("Ошибка подключения к базе данных!\n") + message;
}

} // namespace varnel
