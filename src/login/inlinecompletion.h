#pragma once

#include <QObject>

class QComboBox;
class QLineEdit;

namespace varnel {

// Inline completion for an editable drop-down of remembered values. After each typed
// character the first item that begins with the text, ignoring case, becomes the selected
// item and its remaining characters are filled in, selected, after the typed ones. Deleting
// only keeps the selection honest: the item named in full by the text, else none. Typing
// never inserts an item and never leaves an item selected that the text does not show,
// because the history file skips the selected item when it stores the list.
class InlineCompletion : public QObject {
    Q_OBJECT
public:
    // Attaches itself to the box (as its child) and replaces Qt's own completer.
    static void attach(QComboBox* box);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit InlineCompletion(QComboBox* box);
    void textEdited(const QString& text);
    int firstItemStartingWith(const QString& text) const;
    int firstItemEqualTo(const QString& text) const;

    QComboBox* m_box;
    // Compared, never called: the edit sends events while the box is being destroyed, when a
    // call through m_box would reach an object that is no QComboBox any more.
    QLineEdit* m_edit;
    bool m_deleting = false;
};

} // namespace varnel
