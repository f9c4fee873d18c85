#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <functional>
#include <span>
#include <vector>

namespace varnel {

// The export buffer (`MemoExport`): a list of text lines, held the way the export file holds
// them — each line in the ANSI code page (base/ansicodepage.h) and followed by CR LF — so that a
// million records cost the file's size once, and saving is copying bytes. The bytes live in
// chunks that never move once written: appending never copies earlier lines.
class MemoExport {
public:
    // Appends the text and a line end. Each line break in the text (CR LF, LF or a lone CR)
    // ends a line of its own, so a text that ends with one is followed by an empty line.
    void append(QStringView text);
    // Appends what append() would for the texts joined by `separator`, without making the
    // joined text. The separator is ASCII without a line break, the same bytes in every ANSI
    // code page.
    void appendJoined(std::span<const QString> texts, QByteArrayView separator);
    void clear();

    qsizetype lineCount() const { return m_lines; }
    qint64 byteCount() const;
    // Every line followed by CR LF, read back from the code page: a character the code page
    // lacks reads as "?".
    QString text() const;

    // Replaces `path` by a file holding exactly the buffer's bytes, through QSaveFile: a
    // failure leaves no partial file, and an existing file keeps its old content unless the
    // new one is complete. Raises Error naming the full path. `checkpoint` runs after each
    // piece written and last once everything is written but the old file not yet replaced;
    // what it raises stops the save there, the old file as it was. Returning normally, the
    // save has replaced the file: nothing after that last checkpoint can be stopped.
    void saveToFile(const QString& path, const std::function<void()>& checkpoint = {}) const;

private:
    // Adds to the open line; each break in the text ends that line and opens the next.
    void appendPiece(QStringView text);
    void endLine();
    // The last chunk, with at least `bytes` free.
    QByteArray& room(qsizetype bytes);

    std::vector<QByteArray> m_chunks;
    qsizetype m_lines = 0;
};

} // namespace varnel
