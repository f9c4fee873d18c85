#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace varnel {

// The login history file: an INI file of the Windows kind, in the ANSI code page (see
// base/ansicodepage.h). Reading follows GetPrivateProfileString; writing changes only the keys it
// is given and keeps every other byte of the file. The object only names the file: each call
// reads it afresh, so nothing is held open between the dialog's load and its save.
class LoginHistoryFile {
public:
    explicit LoginHistoryFile(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }

    // The value of `key` in `section`; empty when the file, the section or the key is missing or
    // the file cannot be read or is not the program's (a link, a folder, a pipe). Names are
    // compared without regard to case, blanks around the key and the value are dropped, one
    // pair of enclosing quotes (" or ') is removed, lines beginning with ";" are comments, and
    // only the first of repeated sections or keys counts. A value longer than kMaxValueLength
    // characters is cut.
    QString readString(const QString& section, const QString& key) const;

    // Sets the keys of `section` in one save of the whole file: a key's existing line is
    // rewritten (with the key as the file spells it), a missing key is added after the last
    // entry of the section, a missing section is added at the end of the file. Lines written
    // end with CR LF; all other lines stay byte for byte. A value that reading would change
    // (blanks at its ends, enclosing quotes) is written between double quotes, so that every
    // value of up to kMaxValueLength characters reads back as given. The file's folder is
    // created when it is missing, and the file is replaced in one step, never written through a
    // link (see base/ownfile.h). Throws Error("Не удалось записать файл "<full native path>".
    // <reason>") when the file is not the program's, cannot be read or saved, or a value holds
    // a line break; the file is then as it was.
    void writeStrings(const QString& section, const QList<std::pair<QString, QString>>& keyValues);

    // GetPrivateProfileString's buffer holds 2048 characters with the terminating zero.
    static constexpr qsizetype kMaxValueLength = 2047;

private:
    QString m_path;
};

// The folders that installed programs live in: files beside such a program belong to the
// system's package manager or an installer, never to one user's run.
struct SystemFolders {
    QStringList prefixes; // absolute, '/'-separated, without a trailing '/'
    Qt::CaseSensitivity caseSensitivity = Qt::CaseSensitive;

    // This platform's: /usr (with /usr/local) and /opt; on Windows the Program Files folders
    // that %ProgramFiles%, %ProgramFiles(x86)% and %ProgramW6432% name, in any letter case.
    static SystemFolders current();
};

// Whether `dir` is one of the prefixes or lies below one, as written or once its symbolic links
// are resolved (a link into /usr is a system folder; so is a folder under /usr that links out).
// Only whole names count: /usr2 and /optional are not system folders.
bool isSystemFolder(const QString& dir, const SystemFolders& system = SystemFolders::current());

// "Login.ini" in the executable's folder when that folder is not a system folder and a file can
// be written there (a build or an unpacked folder) with no link or folder in the file's place,
// otherwise in `configDir` (userConfigFolder()): an installed program keeps one history per
// user and writes nothing into /usr/bin, even run as root. One rule picks the file for loading
// and for saving, so a run reads the file its previous run wrote. Empty when it would go to the
// configuration folder and there is none: the run then saves nothing.
QString historyFilePath(const QString& executableDir, const QString& configDir);

// The user's folder for the program's files: QStandardPaths' AppConfigLocation, except where
// HOME is unset or empty (a service, `env -i`, cron): there it is ~/.config/<application
// name> of the home that the password database gives the effective user; empty when that
// names no home of its own (none, or the root folder).
QString userConfigFolder();

} // namespace varnel
