// Any bytes as the login history file: what the login reads, written back, reads back the
// same; every other key of the file keeps its value; a save that is refused leaves every byte
// as it was; and the remembered lists come back as they were saved.

#include "base/ansicodepage.h"
#include "base/error.h"
#include "fuzzcheck.h"
#include "login/core/historyfile.h"
#include "login/core/historylist.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <utility>

using namespace varnel;

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every section and key name the file could hold, to learn each value before and after a save:
// a superset is harmless, since a name the file lacks reads as empty both times.
QList<std::pair<QString, QString>> namesIn(const QByteArray& bytes)
{
    QList<std::pair<QString, QString>> names;
    QString section;
    for (const QByteArray& line : bytes.split('\n')) {
        const QString text = fromAnsi(line).trimmed();
        if (text.startsWith(u'[')) {
            section = text.mid(1).section(u']', 0, 0).trimmed();
        } else if (!text.isEmpty()) {
            names.append({section, text.section(u'=', 0, 0).trimmed()});
        }
    }
    return names;
}

bool isWritten(const std::pair<QString, QString>& name)
{
    if (name.first.compare(kHistorySection, Qt::CaseInsensitive) != 0)
        return false;
    for (const HistoryListKey& list : kHistoryLists)
        if (name.second.compare(list.key, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // In memory where the machine has it: every save syncs the file to its disk.
    static const QTemporaryDir folder(QDir(QStringLiteral("/dev/shm")).exists()
                                          ? QStringLiteral("/dev/shm/varnel-fuzz-XXXXXX")
                                          : QDir::tempPath() +
                                                QStringLiteral("/varnel-fuzz-XXXXXX"));
    const QString path = folder.filePath(QStringLiteral("Login.ini"));
    const QByteArray before(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(before) != before.size())
            std::abort();
    }
    LoginHistoryFile history(path);
    const QList<std::pair<QString, QString>> names = namesIn(before);
    QList<QString> others;
    for (const auto& name : names)
        others.append(history.readString(name.first, name.second));

    // What was read, written back as it is.
    QList<std::pair<QString, QString>> read;
    bool breaksLine = false;
    for (const HistoryListKey& list : kHistoryLists) {
        const QString value = history.readString(kHistorySection, list.key);
        breaksLine = breaksLine || value.contains(u'\r') || value.contains(u'\n');
        read.append({list.key, value});
    }
    try {
        history.writeStrings(kHistorySection, read);
        FUZZ_CHECK(!breaksLine, QStringLiteral("a value with a line break was written"));
    } catch (const Error& error) {
        FUZZ_CHECK(breaksLine, error.message());
        FUZZ_CHECK(contents(path) == before, QStringLiteral("a refused save changed the file"));
        return 0;
    }
    for (const auto& [key, value] : read)
        FUZZ_CHECK(history.readString(kHistorySection, key) == value,
                   QStringLiteral("%1 was \"%2\", reads \"%3\"")
                       .arg(key, value, history.readString(kHistorySection, key)));
    for (qsizetype i = 0; i < names.size(); ++i)
        if (!isWritten(names[i]))
            FUZZ_CHECK(history.readString(names[i].first, names[i].second) == others[i],
                       QStringLiteral("[%1] %2 changed").arg(names[i].first, names[i].second));

    // The lists as the login dialog keeps them: loaded, then saved with the first entry
    // current. Each saved value reads back as it was saved, and so do the entries, but for
    // one with a line break, which cannot be saved and is left out by design.
    QList<std::pair<QString, QString>> saved;
    for (const auto& [key, value] : read) {
        const QStringList entries = parseHistoryList(value);
        saved.append(
            {key, serialiseHistoryList(entries.value(0), entries, entries.isEmpty() ? -1 : 0)});
    }
    history.writeStrings(kHistorySection, saved);
    for (qsizetype i = 0; i < saved.size(); ++i) {
        const QString back = history.readString(kHistorySection, saved[i].first);
        FUZZ_CHECK(back == saved[i].second, back);
        const QStringList entries = parseHistoryList(read[i].second);
        if (entries.isEmpty() || entries.join(QString()).contains(u'\r') ||
            entries.join(QString()).contains(u'\n'))
            continue;
        FUZZ_CHECK(parseHistoryList(back) == entries.mid(0, kHistoryListLength), back);
    }
    return 0;
}
