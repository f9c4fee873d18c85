#pragma once

#include <QComboBox>
#include <QPointer>

namespace varnel {

class Dataset;

// A drop-down of one filter list: it shows the rows of its statement dataset, one column serving
// as both key and shown text, and takes no free text. It keeps the chosen key, not a row: each
// time the dataset opens, the entry equal to the key is shown, or nothing when the list lacks it;
// while the dataset is closed nothing is shown. The key survives both, so a choice that a rebuild
// hides shows again when a later rebuild lists the value once more. What the filter reads is
// the shown text: a hidden choice is an off filter.
class DBLookupComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit DBLookupComboBox(QWidget* parent = nullptr);

    // Shows the column `keyColumn` (matched without regard to case) of `dataset`'s rows, now and
    // whenever the dataset opens or closes.
    void attach(Dataset& dataset, const QString& keyColumn);

    // The kept key; empty when none was chosen or the empty entry was.
    const QString& keyValue() const { return m_key; }
    void setKeyValue(const QString& key);
    // The text the filter set reads: the entry shown, or empty.
    QString shownText() const { return currentIndex() < 0 ? QString() : currentText(); }

private:
    void reload();
    void choose(int index);

    QPointer<Dataset> m_dataset;
    QString m_column;
    QString m_key;
};

} // namespace varnel
