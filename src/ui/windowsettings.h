#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

#include <optional>

class QSplitter;
class QWidget;

namespace varnel {

// The place of a top-level window's frame, moved and shrunk where needed so that it lies
// wholly in `available` (the screen without its task bar). A frame that fits stays as it is.
QRect fitInto(const QRect& frame, const QRect& available);

// Moves and shrinks a top-level window so that its frame lies on the available area of the
// screen under its centre (the primary screen when no screen is there: a saved place on a
// monitor since removed). Before the window is shown its frame is not known and counts as
// nothing.
void fitOnScreen(QWidget& window);

// Gives the first pane of a splitter of two `size` pixels and the second the rest, as the
// splitter is laid out in its window, unless that would leave either pane below its least size,
// the one a drag of the handle stops at (a damaged value, or one saved in a larger window): the
// splitter then keeps the sizes it has.
void restoreSplitter(QSplitter& splitter, int size);

// What the windows keep from one run to the next (sizes, places, column widths), in a small
// INI file of its own, read once when made and written by save(). Sections hold keys and
// text values. A file that is missing, unreadable, damaged or someone else's gives no values
// or only those it holds that parse; nothing in it can stop the program. Values this run does
// not set are written back as they were read; a file that was there but was not read (too
// large, unreadable, a link or a folder, see base/ownfile.h) is never saved over.
class WindowSettings : public QObject {
    Q_OBJECT

public:
    explicit WindowSettings(QString path);
    ~WindowSettings() override;

    // "Varnel.ini" in the folder of `siblingFile` (the login history's Login.ini): the two
    // files stay together wherever the rule of the history file puts it. Empty for an empty
    // `siblingFile`: settings of that path are neither read nor saved.
    static QString pathBeside(const QString& siblingFile);

    const QString& path() const { return m_path; }

    // The text of a key; empty when it is missing.
    QString value(const QString& section, const QString& key) const;
    void setValue(const QString& section, const QString& key, const QString& value);
    // A whole number from `low` to `high`; nothing when the key is missing or holds anything
    // else.
    std::optional<int> number(const QString& section, const QString& key, int low, int high) const;
    void setNumber(const QString& section, const QString& key, int value);
    // Every key of a section that holds a whole number from `low` to `high`.
    QMap<QString, int> numbers(const QString& section, int low, int high) const;

    // Remembers a top-level window's geometry under `key`: places it now as it was saved
    // (maximised again if it was), or leaves it as it is (a first run, a bad value), fitted
    // onto the screen either way (again as it is first shown, with its borders known), and
    // stores its normal geometry and maximised state whenever it is hidden or closed, and at
    // save() while it is shown. Call before the window is first shown; true when a saved
    // geometry was applied. Any number of windows, each under its own key (the main window
    // "MainWindow", the record viewer "RecordWindow"); a window made anew for each showing is
    // tracked anew each time, under the same key.
    bool track(const QString& key, QWidget& window);
    // Stores a window's normal geometry and maximised state under `key` now.
    void storeWindow(const QString& key, const QWidget& window);

    // Writes the file (its folder made if missing) in one piece, never a half-written file nor
    // through a link. False when nothing was written, with the message for the user in
    // `failure` (none for an empty path); the program goes on either way.
    bool save(QString* failure = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Tracked {
        QString key;
        QPointer<QWidget> window;
        bool shown = false;
    };

    void load();

    QString m_path;
    QString m_notRead; // why a file that is there was not read; it is then not saved over
    QMap<QString, QMap<QString, QString>> m_sections;
    QList<Tracked> m_tracked;
};

} // namespace varnel
