#pragma once

#include "base/localetext.h"
#include "db/rowset.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace varnel {

class Connection;
class Dataset;

// One column of an open dataset, seen at the dataset's current row, with the settings the grid
// shows it with. A handle: cheap to copy, valid while the dataset stays open.
class Field {
public:
    Field(Dataset* dataset, int column) : m_dataset(dataset), m_column(column) {}

    int index() const { return m_column; }
    QString name() const;
    ColumnType type() const;
    bool isNull() const;
    QString displayText() const;

    bool visible() const;
    void setVisible(bool visible);
    QString displayLabel() const;
    void setDisplayLabel(const QString& label);
    // In characters; the grid turns it into pixels with its font.
    int displayWidth() const;
    void setDisplayWidth(int width);

private:
    Dataset* m_dataset;
    int m_column;
};

// A named, reusable statement with its text and, when open, a snapshot of all its rows
// (`ADOQueryMain` and its seven siblings). Views observe it through its signals; it knows none
// of them. Rows are shown in an order that is a permutation of the fetched rows: sorting and
// deleting change the permutation, never the snapshot.
class Dataset : public QObject {
    Q_OBJECT

public:
    Dataset(const QString& name, Connection& connection, QObject* parent = nullptr);
    ~Dataset() override;

    // Each change of the text closes an open dataset first, so that its rows
    // always belong to its current text. The database gets the text exactly as it was set: a
    // line break inside a quoted value is part of the value, and becoming CR LF would make a
    // filter on that value find another record.
    void setText(const QString& text);
    void clearText();
    // Every line followed by CR LF.
    QString getText() const;

    // The statements run on the connection's thread (Connection::call): a cancelled one
    // raises Cancelled and leaves the dataset as a failure would. `title` is what the progress
    // window says meanwhile («Отбор записей»): the caller knows what it runs, the dataset does
    // not. A caller that waits without a window (a test, a tool) may leave it empty.

    // Runs the text and fetches all rows, the first one current; nothing when already open.
    void open(const QString& title = QString());
    // Discards the rows; nothing when closed.
    void close();
    bool isOpen() const { return m_open; }
    // Runs a text that returns no rows: the records it changed, -1 when the database does not
    // say.
    int64_t execute(const QString& title = QString());

    // The cursor, over the rows in their shown order.
    void first();
    void next();
    bool atEnd() const;
    int recordCount() const;
    int currentRow() const { return m_open && recordCount() > 0 ? m_position : -1; }
    void setCurrentRow(int shownRow);

    int fieldCount() const { return m_open ? m_rows->columnCount() : 0; }
    // Looks a column up by name, without regard to case; raises "<dataset>: Field '<name>' not
    // found" when there is none and the closed-dataset error when the dataset is closed.
    Field field(const QString& name);
    Field fieldAt(int column);

    // Display text of a cell by shown row (views ask for the cells they draw).
    QString displayText(int shownRow, int column) const;
    const RowSet& rows() const { return *m_rows; }
    uint32_t rowAt(int shownRow) const
    {
        return m_order.empty() ? static_cast<uint32_t>(shownRow)
                               : m_order[static_cast<size_t>(shownRow)];
    }

    // Orders the fetched rows by the field's typed value (stable in either direction: rows
    // with equal values keep the order the database returned them in), without asking the
    // database. The sort runs on the connection's thread; a cancelled one leaves the order,
    // and what sortColumn and sortOrder tell, as they were.
    void sortBy(const QString& fieldName, Qt::SortOrder order = Qt::AscendingOrder);
    // The column of the last sort of this opening, -1 while the rows are in the fetched order,
    // and its direction.
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    // Where find() starts: at the given cell itself, or forwards at the one after it, or
    // backwards at the one before it. Past one end it goes on at the other and comes to the
    // given cell last.
    enum class FindFrom { Here, After, Before };
    struct FoundCell {
        int row = -1; // shown row; -1: nothing matches
        int column = -1;
        bool wrapped = false; // it went past the last row on to the first, or back
    };
    // The nearest cell that shows `text`, letter case aside, as the grid shows it (display
    // text, a line break read as a blank), among the cells of `columns` (columns of this
    // result): row after row in the shown order, within a row in the order of `columns`,
    // starting from the cell (`fromRow`, columns[`fromIndex`]) as `from` says. Reads the
    // fetched rows only. What it learns of a text is kept for the next search for the same
    // text in this opening: stepping from match to match costs next to nothing.
    FoundCell find(const QString& text, const std::vector<int>& columns, int fromRow, int fromIndex,
                   FindFrom from) const;
    // The shown rows in which find() would stop at a cell of `columns` for `text`: records,
    // not cells, however many of a row's cells show it. Shares what find() learnt of the text.
    int foundRowCount(const QString& text, const std::vector<int>& columns) const;

    // Deletes the record of the current row from `table` (the program's current log table),
    // then drops the row. An empty name deletes nothing and raises DbError.
    void deleteCurrent(const QString& table);

    Connection& connection() { return m_connection; }

signals:
    // Each change of the rows is announced twice: `about...` once it is certain to happen,
    // before anything a view can see has changed, and then when it is done. A change that
    // fails before its announcement (a failed open, say) sends neither, so a model's
    // begin/end pairs always match. A view must not close, open or sort the dataset while it
    // hears an announcement.
    void aboutToOpen();
    void opened();
    void aboutToClose();
    void closed();
    void aboutToReorder();
    void reordered();
    // `shownRow` is the row's place in the shown order before the removal.
    void aboutToRemoveRow(int shownRow);
    void rowRemoved(int shownRow);
    void fieldsChanged();

private:
    friend class Field;

    struct FieldSettings {
        bool visible = true;
        QString label;
        int width = 0;
    };

    [[noreturn]] void raiseClosed() const;
    void requireOpen() const;
    void materializeOrder();
    // The fetched rows that show `needle` (made of `text`) in any of `columns`, a bit each,
    // and in `found` each column's own, in the order of `columns`.
    std::vector<uint64_t> markFound(const TextNeedle& needle, const QString& text,
                                    const std::vector<int>& columns,
                                    std::vector<const std::vector<uint64_t>*>& found) const;

    Connection& m_connection;
    QString m_text; // as set, sent as it is
    bool m_open = false;
    // Shared with a sort that the user cancelled and the connection's thread still finishes.
    std::shared_ptr<const RowSet> m_rows;
    std::vector<uint32_t> m_order; // empty: the fetched order
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    int m_shown = 0;
    int m_position = 0;
    bool m_eof = true;
    std::vector<FieldSettings> m_fields;
    std::optional<LocaleText> m_locale;
    // The last text looked for, and by column the fetched rows that show it (a bit each).
    mutable QString m_foundText;
    mutable std::vector<std::pair<int, std::vector<uint64_t>>> m_foundRows;
};

} // namespace varnel
