#include "browse/core/csvexport.h"

#include "base/error.h"
#include "db/call.h"
#include "db/dataset.h"

#include <QByteArrayView>
#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QSaveFile>

#include <charconv>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace varnel {

namespace {

// How often the writer counts and looks for a cancel: rarely enough to cost nothing, often
// enough for the window to count smoothly and a cancel to stop at once.
constexpr int64_t kProgressEvery = 256;
// Large enough that the device is called a few hundred times for a million records.
constexpr size_t kBufferBytes = size_t(1) << 20;

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

// The high bit of each byte of `v` that is zero (and, after one, perhaps of some above it):
// nonzero exactly when `v` has a zero byte.
constexpr uint64_t zeroBytes(uint64_t v)
{
    return (v - kOnes) & ~v & kHighs;
}

constexpr uint64_t specialBytes(uint64_t v)
{
    return zeroBytes(v ^ (kOnes * ',')) | zeroBytes(v ^ (kOnes * '"')) |
           zeroBytes(v ^ (kOnes * '\r')) | zeroBytes(v ^ (kOnes * '\n'));
}

struct Scan {
    bool quote = false;    // a comma, a double quote, CR or LF
    bool nonAscii = false; // a byte of a character beyond ASCII
};

// Eight bytes at a time: a change text is read once here and once more when it is copied.
Scan scan(std::string_view text)
{
    const char* p = text.data();
    const char* const end = p + text.size();
    uint64_t special = 0, high = 0;
    for (; end - p >= 8; p += 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        special |= specialBytes(v);
        high |= v & kHighs;
    }
    bool quote = special != 0, nonAscii = high != 0;
    for (; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        quote |= c == ',' || c == '"' || c == '\r' || c == '\n';
        nonAscii |= c >= 0x80;
    }
    return {quote, nonAscii};
}

// The file's bytes, gathered in a large buffer and handed to the device in big pieces.
class Output {
public:
    // `failure` makes the error raised when the device refuses bytes.
    Output(QIODevice& device, std::function<Error()> failure)
        : m_device(device), m_failure(std::move(failure)),
          m_buffer(std::make_unique<char[]>(kBufferBytes))
    {}

    void put(std::string_view bytes)
    {
        if (bytes.size() <= kBufferBytes - m_used) {
            std::memcpy(m_buffer.get() + m_used, bytes.data(), bytes.size());
            m_used += bytes.size();
            return;
        }
        flush();
        if (bytes.size() <= kBufferBytes)
            put(bytes);
        else
            write(bytes);
    }
    void put(char c)
    {
        if (m_used == kBufferBytes)
            flush();
        m_buffer[m_used++] = c;
    }

    // Whose text a field holds: the program's own (titles, numbers, dates, where a minus is a
    // sign), or what whoever changes the audited tables wrote into a record.
    enum class Source { Program, Record };

    // One field, quoted where a spreadsheet would otherwise split it. A record's text that a
    // spreadsheet would run as a formula gets an apostrophe in front, inside quotes, as OWASP's
    // advice on CSV injection has it.
    void field(std::string_view utf8, Source source = Source::Program)
    {
        const Scan found = scan(utf8);
        if (found.nonAscii && !QByteArrayView(utf8.data(), qsizetype(utf8.size())).isValidUtf8()) {
            // Bytes that are no UTF-8 become what the grid shows for them, so that the file
            // stays UTF-8 throughout.
            const QByteArray shown =
                QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toUtf8();
            field(std::string_view(shown.constData(), static_cast<size_t>(shown.size())), source);
            return;
        }
        const bool formula =
            source == Source::Record && !utf8.empty() &&
            std::string_view("=+-@\t\r").find(utf8.front()) != std::string_view::npos;
        if (!found.quote && !formula) {
            put(utf8);
            return;
        }
        put('"');
        if (formula)
            put('\'');
        for (size_t quote; (quote = utf8.find('"')) != std::string_view::npos;) {
            put(utf8.substr(0, quote + 1));
            put('"');
            utf8.remove_prefix(quote + 1);
        }
        put(utf8);
        put('"');
    }
    void field(const QString& text)
    {
        // Dates and titles: short, and most often ASCII, which needs no conversion.
        char ascii[64];
        const qsizetype size = text.size();
        if (size <= qsizetype(sizeof ascii)) {
            qsizetype i = 0;
            for (; i < size && text[i].unicode() < 0x80; ++i)
                ascii[i] = static_cast<char>(text[i].unicode());
            if (i == size) {
                field(std::string_view(ascii, static_cast<size_t>(size)));
                return;
            }
        }
        const QByteArray utf8 = text.toUtf8();
        field(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
    }

    void flush()
    {
        write({m_buffer.get(), m_used});
        m_used = 0;
    }

private:
    void write(std::string_view bytes)
    {
        // A write that stops short (the disk has filled up) reports no reason of its own: the
        // next one, which writes nothing, does.
        while (!bytes.empty()) {
            const qint64 written = m_device.write(bytes.data(), static_cast<qint64>(bytes.size()));
            if (written <= 0)
                throw m_failure();
            bytes.remove_prefix(static_cast<size_t>(written));
        }
    }

    QIODevice& m_device;
    std::function<Error()> m_failure;
    std::unique_ptr<char[]> m_buffer;
    size_t m_used = 0;
};

void writeCell(Output& out, const Dataset& dataset, int shownRow, uint32_t row, int col,
               ColumnType type)
{
    const RowSet& rows = dataset.rows();
    switch (type) {
    case ColumnType::Text:
        // A NULL's text is empty.
        out.field(rows.text(row, col), Output::Source::Record);
        return;
    case ColumnType::Number:
        if (rows.isNull(row, col))
            return;
        if (rows.isInteger(row, col)) {
            char digits[24];
            const auto done = std::to_chars(digits, digits + sizeof digits, rows.integer(row, col));
            out.put(std::string_view(digits, static_cast<size_t>(done.ptr - digits)));
        } else {
            out.field(rows.decimal(row, col));
        }
        return;
    case ColumnType::Date:
        // The dataset's own text, in the locale the grid shows it with.
        if (!rows.isNull(row, col))
            out.field(dataset.displayText(shownRow, col));
        return;
    }
}

// Writes everything and returns with the last bytes still in `out`'s buffer.
void writeRows(Output& out, const Dataset& dataset, std::span<const int> columns,
               std::span<const QString> labels, const CsvProgress& progress)
{
    if (labels.size() != columns.size())
        throw std::invalid_argument("writeCsv: one label for each column");
    out.put("\xEF\xBB\xBF");
    for (size_t i = 0; i < labels.size(); ++i) {
        if (i > 0)
            out.put(',');
        out.field(labels[i]);
    }
    out.put("\r\n");

    const int records = dataset.recordCount();
    std::vector<ColumnType> types;
    if (records > 0) {
        const RowSet& rows = dataset.rows();
        for (const int col : columns) {
            if (col < 0 || col >= rows.columnCount())
                throw std::out_of_range("writeCsv: no such column");
            types.push_back(rows.column(col).type);
        }
    }
    for (int shown = 0; shown < records; ++shown) {
        const uint32_t row = dataset.rowAt(shown);
        for (size_t i = 0; i < columns.size(); ++i) {
            if (i > 0)
                out.put(',');
            writeCell(out, dataset, shown, row, columns[i], types[i]);
        }
        out.put("\r\n");
        if ((shown + 1) % kProgressEvery == 0) {
            if (progress)
                progress(shown + 1);
            cancellationPoint();
        }
    }
    if (progress)
        progress(records);
}

// "What failed. Why", or only what failed where the device gives no reason.
Error failure(const QString& what, const QString& reason)
{
    return Error(reason.isEmpty() ? what : what + QStringLiteral(". ") + reason);
}

} // namespace

void writeCsv(QIODevice& out, const Dataset& dataset, std::span<const int> columns,
              std::span<const QString> labels, const CsvProgress& progress)
{
    Output output(out, [&out] {
        return failure(QStringLiteral("Не удалось записать данные"), out.errorString());
    });
    writeRows(output, dataset, columns, labels, progress);
    output.flush();
}

void saveCsv(const QString& path, const Dataset& dataset, std::span<const int> columns,
             std::span<const QString> labels, const CsvProgress& progress)
{
    const QString cannotCreate = QStringLiteral("Не удалось создать файл \"") +
                                 QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()) +
                                 u'"';
    QSaveFile file(path);
    // No direct-write fallback: where no temporary file can be made beside the target, an
    // existing file is better kept than rewritten in place, where a failure would cut it.
    if (!file.open(QIODevice::WriteOnly))
        throw failure(cannotCreate, file.errorString());
    // A failure or a cancel on the way leaves the save file uncommitted: it goes away.
    Output output(file, [&] { return failure(cannotCreate, file.errorString()); });
    writeRows(output, dataset, columns, labels, progress);
    output.flush();
    // The last look before the old file is replaced: a cancel after it would come too late.
    cancellationPoint();
    // What is still buffered is written here: a write that fails in commit() itself would
    // still put the cut file in place of the old one and report success.
    if (!file.flush() || !file.commit())
        throw failure(cannotCreate, file.errorString());
}

} // namespace varnel
