#include "login/core/historyfile.h"

#include "base/ansicodepage.h"
#include "base/error.h"
#include "base/ownfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringView>
#include <QTemporaryFile>

#include <vector>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace varnel {

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");

enum class Kind {
    Ignored, // blank or comment
    Section,
    Entry, // a key, with or without "="
};

// One line of the file as read: its bytes, kept for writing back unchanged, and what they say.
struct Line {
    QByteArray text; // without its line end
    QByteArray end;  // "\r\n", "\n", or "" for a last line that has none
    Kind kind = Kind::Ignored;
    QString name; // section or key, without blanks around it
    QString value;
};

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f';
}

// Only ASCII blanks: a no-break space (0xA0 in Windows-1251) belongs to the value.
QStringView trimBlanks(QStringView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

void classify(Line& line)
{
    const QString decoded = fromAnsi(line.text);
    const QStringView text = trimBlanks(decoded);
    if (text.isEmpty() || text.front() == u';') {
        line.kind = Kind::Ignored;
    } else if (text.front() == u'[') {
        const QStringView inside = text.sliced(1);
        const qsizetype close = inside.indexOf(u']');
        line.kind = Kind::Section;
        line.name = trimBlanks(close < 0 ? inside : inside.first(close)).toString();
    } else {
        const qsizetype equals = text.indexOf(u'=');
        line.kind = Kind::Entry;
        line.name = trimBlanks(equals < 0 ? text : text.first(equals)).toString();
        if (equals >= 0)
            line.value = trimBlanks(text.sliced(equals + 1)).toString();
    }
}

QList<Line> splitLines(const QByteArray& bytes)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', start);
        Line line;
        if (newline < 0) {
            line.text = bytes.sliced(start);
            start = bytes.size();
        } else {
            const qsizetype textEnd =
                newline > start && bytes[newline - 1] == '\r' ? newline - 1 : newline;
            line.text = bytes.sliced(start, textEnd - start);
            line.end = bytes.sliced(textEnd, newline + 1 - textEnd);
            start = newline + 1;
        }
        classify(line);
        lines.append(std::move(line));
    }
    return lines;
}

Line newLine(const QString& text)
{
    Line line;
    line.text = toAnsi(text);
    line.end = kCrLf;
    classify(line);
    return line;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The header of the first section called `section`, or -1.
qsizetype findSection(const QList<Line>& lines, const QString& section)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == Kind::Section && sameName(lines[i].name, section))
            return i;
    }
    return -1;
}

// The first line of `key` in the section whose header is at `header`, or -1.
qsizetype findKey(const QList<Line>& lines, qsizetype header, const QString& key)
{
    for (qsizetype i = header + 1; i < lines.size() && lines[i].kind != Kind::Section; ++i) {
        if (lines[i].kind == Kind::Entry && sameName(lines[i].name, key))
            return i;
    }
    return -1;
}

QString unquoted(const QString& value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

// The text that reads back as `value`: reading drops the blanks around a value and one pair of
// enclosing quotes, so a value that starts or ends with a blank, or is enclosed in quotes
// itself, is written between double quotes.
QString written(const QString& value)
{
    if (value.isEmpty() || (!isBlank(value.front()) && !isBlank(value.back()) &&
                            unquoted(value).size() == value.size()))
        return value;
    return u'"' + value + u'"';
}

// Something is about to follow `line`: it needs a line end of its own.
void endLine(Line& line)
{
    if (line.end.isEmpty())
        line.end = kCrLf;
}

void setValue(QList<Line>& lines, const QString& section, const QString& key,
              const QString& plainValue)
{
    const QString value = written(plainValue);
    const qsizetype header = findSection(lines, section);
    if (header < 0) {
        if (!lines.isEmpty())
            endLine(lines.back());
        lines.append(newLine(u'[' + section + u']'));
        lines.append(newLine(key + u'=' + value));
        return;
    }
    if (const qsizetype at = findKey(lines, header, key); at >= 0) {
        lines[at] = newLine(lines[at].name + u'=' + value);
        return;
    }
    // After the section's last entry, so that comments and blank lines that lead into the next
    // section stay in front of it.
    qsizetype last = header;
    for (qsizetype i = header + 1; i < lines.size() && lines[i].kind != Kind::Section; ++i) {
        if (lines[i].kind == Kind::Entry)
            last = i;
    }
    endLine(lines[last]);
    lines.insert(last + 1, newLine(key + u'=' + value));
}

// Whether a file named `fileName` can be made or rewritten in `dir`. Anything but a regular file
// in its place (a link, which the probe would follow and, dangling, make its target; a folder)
// is not the program's to write: the history goes elsewhere.
bool canWriteIn(const QString& dir, const QString& fileName)
{
    if (!QFileInfo(dir).isDir())
        return false;
    const QString path = QDir(dir).filePath(fileName);
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return canRewriteInPlace(path);
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral("Login-XXXXXX.tmp")));
    return probe.open();
}

} // namespace

QString LoginHistoryFile::readString(const QString& section, const QString& key) const
{
    const OwnFileRead file = readOwnFile(m_path);
    if (file.state != OwnFileRead::State::Read)
        return {};
    const QList<Line> lines = splitLines(file.bytes);
    const qsizetype header = findSection(lines, section);
    const qsizetype at = header < 0 ? -1 : findKey(lines, header, key);
    if (at < 0)
        return {};
    QString value = unquoted(lines[at].value);
    value.truncate(kMaxValueLength);
    return value;
}

void LoginHistoryFile::writeStrings(const QString& section,
                                    const QList<std::pair<QString, QString>>& keyValues)
{
    // A line break in a value would write lines of its own into the file: new sections, other
    // keys. Nothing is written then.
    for (const auto& keyValue : keyValues)
        if (keyValue.second.contains(u'\r') || keyValue.second.contains(u'\n'))
            throw Error(ownFileFailure(m_path, QStringLiteral("Значение содержит перевод строки")));

    // Saving only the given keys over a file that is there but was not read would lose the rest.
    const OwnFileRead file = readOwnFile(m_path);
    if (file.state == OwnFileRead::State::NotRead)
        throw Error(ownFileFailure(m_path, file.reason));
    QList<Line> lines = splitLines(file.bytes);
    for (const auto& [key, value] : keyValues)
        setValue(lines, section, key, value);
    QByteArray bytes;
    for (const Line& line : lines)
        bytes += line.text + line.end;
    replaceOwnFile(m_path, bytes);
}

SystemFolders SystemFolders::current()
{
    SystemFolders system;
#ifdef Q_OS_WIN
    // The 32-bit program sees the 64-bit folder only through ProgramW6432.
    for (const char* name : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432"}) {
        const QString folder = qEnvironmentVariable(name);
        if (!folder.isEmpty())
            system.prefixes.append(QDir::cleanPath(QDir::fromNativeSeparators(folder)));
    }
    system.caseSensitivity = Qt::CaseInsensitive;
#else
    system.prefixes = {QStringLiteral("/usr"), QStringLiteral("/opt")};
#endif
    return system;
}

bool isSystemFolder(const QString& dir, const SystemFolders& system)
{
    const auto under = [&system](const QString& path) {
        if (path.isEmpty())
            return false;
        for (const QString& prefix : system.prefixes) {
            if (prefix.isEmpty())
                continue;
            if (path.compare(prefix, system.caseSensitivity) == 0)
                return true;
            const QString withSlash = prefix.endsWith(u'/') ? prefix : prefix + u'/';
            if (path.startsWith(withSlash, system.caseSensitivity))
                return true;
        }
        return false;
    };
    // A folder that does not exist has no canonical path; its written form still counts.
    return under(QDir::cleanPath(QDir::fromNativeSeparators(dir))) ||
           under(QFileInfo(dir).canonicalFilePath());
}

QString historyFilePath(const QString& executableDir, const QString& configDir)
{
    const QString name = QStringLiteral("Login.ini");
    // The system check comes first: the probe itself would leave a file in /usr/bin for a moment.
    if (!isSystemFolder(executableDir) && canWriteIn(executableDir, name))
        return QDir(executableDir).filePath(name);
    return configDir.isEmpty() ? QString() : QDir(configDir).filePath(name);
}

QString userConfigFolder()
{
#ifdef Q_OS_UNIX
    // Without HOME, Qt takes the root folder for the home and the files would go to /.config.
    // A configuration folder of XDG's own still counts, as Qt has it.
    if (qEnvironmentVariableIsEmpty("HOME") &&
        !QDir::isAbsolutePath(qEnvironmentVariable("XDG_CONFIG_HOME"))) {
        const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buffer(suggested > 0 ? size_t(suggested) : size_t(16384));
        passwd entry{};
        passwd* found = nullptr;
        if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
            !found->pw_dir)
            return {};
        const QString home = QDir::cleanPath(QFile::decodeName(found->pw_dir));
        if (!QDir::isAbsolutePath(home) || QDir(home).isRoot())
            return {};
        return QDir(home).filePath(QStringLiteral(".config/") +
                                   QCoreApplication::applicationName());
    }
#endif
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

} // namespace varnel
