#pragma once

#include "base/largepages.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace varnel {

// Append-only store of UTF-8 texts addressed by item number. Items live in chunks that are
// never moved once filled, so appending never copies earlier texts, and each item costs four
// bytes of offset on top of its characters. A chunk holds under 4 GiB; the store as a whole has
// no cap (a million change texts of 4000 bytes are 4 GB).
class TextArena {
public:
    TextArena() = default;
    TextArena(const TextArena&) = delete;
    TextArena& operator=(const TextArena&) = delete;
    TextArena(TextArena&& other) noexcept;
    TextArena& operator=(TextArena&& other) noexcept;
    ~TextArena();

    void append(const char* data, size_t length)
    {
        if (m_chunks.empty() || m_tail->capacity - m_tail->used < length)
            addChunk(length);
        m_starts.push_back(m_tail->used);
        if (length != 0) {
            std::char_traits<char>::copy(m_tail->data + m_tail->used, data, length);
            m_tail->used += static_cast<uint32_t>(length);
        }
    }

    size_t size() const { return m_starts.size(); }
    std::string_view at(size_t item) const;

    // The texts as they lie in memory, for a search through all of them at once: a chunk
    // holds items [firstItem, endItem) one after the other, item i from byte starts[i] on.
    struct ChunkView {
        std::string_view bytes;
        size_t firstItem;
        size_t endItem;
        const uint32_t* starts;
    };
    size_t chunkCount() const { return m_chunks.size(); }
    ChunkView chunk(size_t index) const
    {
        const Chunk& c = m_chunks[index];
        const size_t endItem =
            index + 1 < m_chunks.size() ? m_chunks[index + 1].firstItem : m_starts.size();
        return {{c.data, c.used}, c.firstItem, endItem, m_starts.data()};
    }

    // Gives back what the last chunk and the offset table reserved beyond their use.
    void shrinkToFit();
    size_t allocatedBytes() const;

private:
    struct Chunk {
        char* data;
        uint32_t used;
        uint32_t capacity;
        size_t firstItem;
    };

    void addChunk(size_t atLeast);
    void release() noexcept;

    std::vector<Chunk> m_chunks;
    Chunk* m_tail = nullptr;
    std::vector<uint32_t, LargePageAllocator<uint32_t>> m_starts;
};

} // namespace varnel
