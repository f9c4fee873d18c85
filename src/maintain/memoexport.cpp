#include "maintain/memoexport.h"

#include "db/ansicodepage.h"
#include "db/error.h"

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
    const qsizetype size = text.size();
    // The next CR and LF at or after `start`, or `size`; found by Qt's vectorised search, since
    // most texts hold neither.
    const auto next = [&](char16_t c, qsizetype from) {
        const qsizetype at = text.indexOf(QChar(c), from);
        return at < 0 ? size : at;
    };
    qsizetype cr = next(u'\r', 0), lf = next(u'\n', 0);
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = std::min(cr, lf);
        appendLine(text.sliced(start, end - start));
        if (end == size)
            return;
        start = end + (end == cr && lf == cr + 1 && lf < size ? 2 : 1);
        if (cr < start)
            cr = next(u'\r', start);
        if (lf < start)
            lf = next(u'\n', start);
        // A break at the very end leaves start == size: the empty line after it follows.
    }
}

void MemoExport::appendLine(QStringView line)
{
    const qsizetype needed = line.size() * kMaxAnsiBytesPerUnit + 2;
    if (m_chunks.empty() || m_chunks.back().capacity() - m_chunks.back().size() < needed) {
        m_chunks.emplace_back();
        m_chunks.back().reserve(std::max(kChunkBytes, needed));
    }
    QByteArray& tail = m_chunks.back();
    appendAnsi(line, tail);
    tail.append("\r\n", 2);
    ++m_lines;
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

void MemoExport::saveToFile(const QString& path, const std::function<void()>& betweenChunks) const
{
    const QString fullPath = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    QSaveFile file(path);
    const auto fail = [&] {
        const QString reason = file.errorString();
        throw Error(QStringLiteral("Cannot create file \"") + fullPath + u'"' +
                    (reason.isEmpty() ? QString() : QStringLiteral(". ") + reason));
    };
    // No direct-write fallback: where no temporary file can be made beside the target, an
    // existing file is better kept than rewritten in place, where a failure would cut it.
    if (!file.open(QIODevice::WriteOnly))
        fail();
    for (const QByteArray& chunk : m_chunks) {
        if (file.write(chunk) != chunk.size())
            fail();
        if (betweenChunks)
            betweenChunks();
    }
    if (!file.commit())
        fail();
}

} // namespace varnel
