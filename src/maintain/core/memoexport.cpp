#include "maintain/core/memoexport.h"

#include "base/ansicodepage.h"
#include "base/error.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace varnel {

namespace {

// Large enough that a million lines take a few hundred allocations, small enough that the
// unused end of the last chunk does not matter.
constexpr qsizetype kChunkBytes = qsizetype(4) << 20;

} // namespace

void MemoExport::append(QStringView text)
{
    appendPiece(text);
    endLine();
}

void MemoExport::appendJoined(std::span<const QString> texts, QByteArrayView separator)
{
    for (size_t i = 0; i < texts.size(); ++i) {
        if (i > 0)
            room(separator.size()).append(separator);
        appendPiece(texts[i]);
    }
    endLine();
}

void MemoExport::appendPiece(QStringView text)
{
    const qsizetype size = text.size();
    for (qsizetype start = 0;;) {
        const QStringView rest = text.sliced(start);
        const qsizetype end =
            start + appendAnsiUntilLineBreak(rest, room(rest.size() * kMaxAnsiBytesPerUnit));
        if (end == size)
            return;
        endLine();
        // CR LF is one break; a break at the very end leaves an empty rest, the line after it.
        start = end + (text[end] == u'\r' && end + 1 < size && text[end + 1] == u'\n' ? 2 : 1);
    }
}

void MemoExport::endLine()
{
    room(2).append("\r\n", 2);
    ++m_lines;
}

QByteArray& MemoExport::room(qsizetype bytes)
{
    // A line may go on in the next chunk: the file is the chunks one after the other.
    if (m_chunks.empty() || m_chunks.back().capacity() - m_chunks.back().size() < bytes) {
        m_chunks.emplace_back();
        m_chunks.back().reserve(std::max(kChunkBytes, bytes));
    }
    return m_chunks.back();
}

void MemoExport::clear()
{
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_lines = 0;
}

qint64 MemoExport::byteCount() const
{
    qint64 bytes = 0;
    for (const QByteArray& chunk : m_chunks)
        bytes += chunk.size();
    return bytes;
}

QString MemoExport::text() const
{
    QByteArray bytes;
    bytes.reserve(byteCount());
    for (const QByteArray& chunk : m_chunks)
        bytes += chunk;
    return fromAnsi(bytes);
}

void MemoExport::saveToFile(const QString& path, const std::function<void()>& checkpoint) const
{
    const QString fullPath = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    QSaveFile file(path);
    const auto fail = [&] {
        const QString reason = file.errorString();
        throw Error(QStringLiteral("Не удалось создать файл \"") + fullPath + u'"' +
                    (reason.isEmpty() ? QString() : QStringLiteral(". ") + reason));
    };
    // No direct-write fallback: where no temporary file can be made beside the target, an
    // existing file is better kept than rewritten in place, where a failure would cut it.
    if (!file.open(QIODevice::WriteOnly))
        fail();
    for (const QByteArray& chunk : m_chunks) {
        // A write that stops short (the disk has filled up) reports no reason of its own: the
        // next one, which writes nothing, does.
        for (qsizetype written = 0; written < chunk.size();) {
            const qint64 bytes = file.write(chunk.constData() + written, chunk.size() - written);
            if (bytes <= 0)
                fail();
            written += qsizetype(bytes);
        }
        if (checkpoint)
            checkpoint();
    }
    // What is still buffered is written here: a write that fails in commit() itself would
    // still put the cut file in place of the old one and report success.
    if (!file.flush())
        fail();
    // The last moment the old file can be kept: commit() syncs and renames, and once it has
    // begun the new file may already stand in its place.
    if (checkpoint)
        checkpoint();
    if (!file.commit())
        fail();
}

} // namespace varnel
