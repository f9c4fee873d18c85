#include "ui/windowsettings.h"

#include "base/error.h"
#include "base/ownfile.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <numeric>
#include <utility>

namespace varnel {

namespace {

// A settings file of this program is a few hundred bytes: anything far larger is someone
// else's, and reading it whole at start-up would only cost time and memory.
constexpr qint64 kMaxFileSize = 1 << 20;
// Beyond any screen: a saved value outside is a damaged one.
constexpr int kMaxCoordinate = 100000;

const QString kGeometry = QStringLiteral("Geometry");
const QString kMaximized = QStringLiteral("Maximized");

// A name or value that would not read back as written (the reader trims blanks, ends a key
// at "=" and a line at a line break, and takes "[" and ";" at a line's start as a section or
// a comment) is never written.
bool writable(const QString& text)
{
    return !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')) &&
           text.trimmed() == text;
}

bool writableName(const QString& name)
{
    return !name.isEmpty() && writable(name) && !name.contains(QLatin1Char('=')) &&
           !name.contains(QLatin1Char(']')) && !name.startsWith(QLatin1Char('[')) &&
           !name.startsWith(QLatin1Char(';'));
}

std::optional<int> parseNumber(const QString& text, int low, int high)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < low || number > high)
        return std::nullopt;
    return number;
}

std::optional<QRect> parseRect(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    const auto x = parseNumber(parts[0], -kMaxCoordinate, kMaxCoordinate);
    const auto y = parseNumber(parts[1], -kMaxCoordinate, kMaxCoordinate);
    const auto width = parseNumber(parts[2], 1, kMaxCoordinate);
    const auto height = parseNumber(parts[3], 1, kMaxCoordinate);
    if (!x || !y || !width || !height)
        return std::nullopt;
    return QRect(*x, *y, *width, *height);
}

} // namespace

QRect fitInto(const QRect& frame, const QRect& available)
{
    if (available.isEmpty())
        return frame;
    QRect fitted(frame.topLeft(), frame.size().boundedTo(available.size()));
    // Right and bottom first: a frame as large as the area then ends at its top left corner.
    if (fitted.right() > available.right())
        fitted.moveRight(available.right());
    if (fitted.bottom() > available.bottom())
        fitted.moveBottom(available.bottom());
    if (fitted.left() < available.left())
        fitted.moveLeft(available.left());
    if (fitted.top() < available.top())
        fitted.moveTop(available.top());
    return fitted;
}

void fitOnScreen(QWidget& window)
{
    const QRect frame = window.frameGeometry();
    // The borders and the title bar stay as the window system draws them; the client area
    // gives up what the frame must lose.
    const QSize borders = frame.size() - window.size();
    // A window smaller than its minimum (its layout's, which only showing it enforces) grows to
    // it: fitted at the smaller size, it would grow off the screen again.
    QRect least = frame;
    least.setSize(frame.size().expandedTo(
        window.minimumSize().expandedTo(window.minimumSizeHint()) + borders));
    QScreen* screen = QGuiApplication::screenAt(least.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect fitted = fitInto(least, screen->availableGeometry());
    if (fitted == frame)
        return;
    window.move(fitted.topLeft());
    window.resize(fitted.size() - borders);
}

namespace {

// Puts a splitter's saved place into effect each time the splitter is laid out while its window
// comes up (shown, then fitted or maximised), and goes once the window is up.
class SplitterPlace : public QObject {
public:
    SplitterPlace(QSplitter& splitter, int size)
        : QObject(&splitter), m_splitter(splitter), m_size(size), m_own(splitter.saveState())
    {
        splitter.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_splitter && event->type() == QEvent::Resize)
            apply();
        else if (watched == &m_splitter && event->type() == QEvent::Show)
            QTimer::singleShot(0, this, &QObject::deleteLater);
        return QObject::eventFilter(watched, event);
    }

    void apply()
    {
        // Lay the panes out in the new size first: their sum is then what they share.
        m_splitter.refresh();
        const QList<int> sizes = m_splitter.sizes();
        const int total = std::accumulate(sizes.cbegin(), sizes.cend(), 0);
        // The splitter holds each pane at its least size (what a drag of the handle can
        // reach): a place that it had to change is one that leaves a pane below it.
        m_splitter.setSizes({m_size, total - m_size});
        if (m_splitter.sizes().value(0) != m_size)
            m_splitter.restoreState(m_own);
    }

private:
    QSplitter& m_splitter;
    const int m_size;
    const QByteArray m_own; // the sizes the splitter was given before, as it keeps them
};

} // namespace

void restoreSplitter(QSplitter& splitter, int size)
{
    auto* place = new SplitterPlace(splitter, size);
    if (splitter.isVisible()) {
        place->apply();
        delete place;
    }
}

WindowSettings::WindowSettings(QString path) : m_path(std::move(path))
{
    load();
}

WindowSettings::~WindowSettings() = default;

QString WindowSettings::pathBeside(const QString& siblingFile)
{
    if (siblingFile.isEmpty())
        return {};
    return QFileInfo(siblingFile).dir().filePath(QStringLiteral("Varnel.ini"));
}

void WindowSettings::load()
{
    if (m_path.isEmpty())
        return;
    const OwnFileRead file = readOwnFile(m_path, kMaxFileSize);
    if (file.state == OwnFileRead::State::NotRead) {
        m_notRead = file.reason;
        return;
    }
    if (file.bytes.size() > kMaxFileSize) {
        m_notRead = QStringLiteral("Файл больше 1 МБ: это не файл настроек программы");
        return;
    }
    QString content = QString::fromUtf8(file.bytes);
    // Notepad's UTF-8 starts with a byte order mark, which would hide the first section.
    if (content.startsWith(QChar::ByteOrderMark))
        content.remove(0, 1);
    QString section; // empty: keys are ignored until a well-formed section line
    for (const QString& line : content.split(QLatin1Char('\n'))) {
        const QString text = line.trimmed();
        if (text.isEmpty() || text.startsWith(QLatin1Char(';')) ||
            text.startsWith(QLatin1Char('#')))
            continue;
        if (text.startsWith(QLatin1Char('['))) {
            section = text.endsWith(QLatin1Char(']')) ? text.mid(1, text.size() - 2).trimmed()
                                                      : QString();
            continue;
        }
        const qsizetype equals = text.indexOf(QLatin1Char('='));
        if (section.isEmpty() || equals <= 0)
            continue;
        const QString key = text.left(equals).trimmed();
        QMap<QString, QString>& keys = m_sections[section];
        // As in the login history: the first of repeated keys counts.
        if (!keys.contains(key))
            keys.insert(key, text.mid(equals + 1).trimmed());
    }
}

QString WindowSettings::value(const QString& section, const QString& key) const
{
    return m_sections.value(section).value(key);
}

void WindowSettings::setValue(const QString& section, const QString& key, const QString& value)
{
    if (writableName(section) && writableName(key) && writable(value))
        m_sections[section].insert(key, value);
}

std::optional<int> WindowSettings::number(const QString& section, const QString& key, int low,
                                          int high) const
{
    return parseNumber(value(section, key), low, high);
}

void WindowSettings::setNumber(const QString& section, const QString& key, int value)
{
    setValue(section, key, QString::number(value));
}

QMap<QString, int> WindowSettings::numbers(const QString& section, int low, int high) const
{
    QMap<QString, int> result;
    const QMap<QString, QString> keys = m_sections.value(section);
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        if (const auto number = parseNumber(it.value(), low, high))
            result.insert(it.key(), *number);
    return result;
}

bool WindowSettings::track(const QString& key, QWidget& window)
{
    window.installEventFilter(this);
    // Windows made anew for each showing (a record viewer) leave only their latest here.
    m_tracked.removeIf(
        [&window](const Tracked& tracked) { return !tracked.window || tracked.window == &window; });
    m_tracked.append({key, &window});
    const auto geometry = parseRect(value(key, kGeometry));
    if (geometry)
        window.setGeometry(*geometry);
    // A window's own first size may be too large for a small screen as well.
    fitOnScreen(window);
    if (!geometry)
        return false;
    if (value(key, kMaximized) == QLatin1String("true"))
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
    return true;
}

void WindowSettings::storeWindow(const QString& key, const QWidget& window)
{
    // While maximised, the geometry to come back to when the window is restored.
    const QRect normal = window.normalGeometry();
    if (!normal.isValid())
        return;
    setValue(key, kGeometry,
             QStringLiteral("%1,%2,%3,%4")
                 .arg(normal.x())
                 .arg(normal.y())
                 .arg(normal.width())
                 .arg(normal.height()));
    setValue(key, kMaximized,
             window.isMaximized() ? QStringLiteral("true") : QStringLiteral("false"));
}

bool WindowSettings::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide || event->type() == QEvent::Close) {
        for (const Tracked& tracked : std::as_const(m_tracked))
            if (tracked.window == watched)
                storeWindow(tracked.key, *tracked.window);
    } else if (event->type() == QEvent::Show) {
        // Fitted again once shown, when its borders are known; only then, so that a window the
        // user has since moved partly off the screen comes back where it was left.
        for (Tracked& tracked : m_tracked)
            if (tracked.window == watched && !std::exchange(tracked.shown, true) &&
                !tracked.window->isMaximized())
                fitOnScreen(*tracked.window);
    }
    return QObject::eventFilter(watched, event);
}

bool WindowSettings::save(QString* failure)
{
    for (const Tracked& tracked : std::as_const(m_tracked))
        if (tracked.window && tracked.window->isVisible())
            storeWindow(tracked.key, *tracked.window);

    QByteArray bytes;
    for (auto section = m_sections.cbegin(); section != m_sections.cend(); ++section) {
        if (section.value().isEmpty())
            continue;
        if (!bytes.isEmpty())
            bytes += "\r\n";
        bytes += '[' + section.key().toUtf8() + "]\r\n";
        for (auto key = section.value().cbegin(); key != section.value().cend(); ++key)
            bytes += key.key().toUtf8() + '=' + key.value().toUtf8() + "\r\n";
    }

    if (m_path.isEmpty())
        return false;
    try {
        // What was not read is not this program's: it stays as it is.
        if (!m_notRead.isEmpty())
            throw Error(ownFileFailure(m_path, m_notRead));
        replaceOwnFile(m_path, bytes);
        return true;
    } catch (const Error& error) {
        if (failure)
            *failure = error.message();
        return false;
    }
}

} // namespace varnel
