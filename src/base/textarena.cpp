#include "base/textarena.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace varnel {

namespace {

// Chunks start small, so that a five-row list result costs kilobytes, and double up to a cap,
// so that the unused tail of the last chunk stays a small share of a large result.
constexpr size_t kFirstChunk = size_t(16) << 10;
constexpr size_t kLargestChunk = size_t(32) << 20;
constexpr size_t kChunkLimit = UINT32_MAX;

} // namespace

TextArena::TextArena(TextArena&& other) noexcept
    : m_chunks(std::move(other.m_chunks)), m_tail(other.m_tail), m_starts(std::move(other.m_starts))
{
    other.m_chunks.clear();
    other.m_tail = nullptr;
}

TextArena& TextArena::operator=(TextArena&& other) noexcept
{
    if (this != &other) {
        release();
        m_chunks = std::move(other.m_chunks);
        m_tail = other.m_tail;
        m_starts = std::move(other.m_starts);
        other.m_chunks.clear();
        other.m_tail = nullptr;
    }
    return *this;
}

TextArena::~TextArena()
{
    release();
}

void TextArena::release() noexcept
{
    for (const Chunk& chunk : m_chunks)
        releaseLarge(chunk.data, chunk.capacity);
    m_chunks.clear();
    m_tail = nullptr;
    m_starts.clear();
}

void TextArena::addChunk(size_t atLeast)
{
    if (atLeast > kChunkLimit)
        throw std::bad_alloc();
    size_t capacity = m_chunks.empty()
                          ? kFirstChunk
                          : std::min<size_t>(size_t(m_tail->capacity) * 2, kLargestChunk);
    capacity = std::max(capacity, atLeast);
    // The tail of a chunk left behind is shorter than the text that did not fit: a few
    // kilobytes at most for a log, not worth a copy of the chunk.
    auto* data = static_cast<char*>(allocateLarge(capacity));
    if (data == nullptr)
        throw std::bad_alloc();
    m_chunks.push_back(Chunk{data, 0, static_cast<uint32_t>(capacity), m_starts.size()});
    m_tail = &m_chunks.back();
}

std::string_view TextArena::at(size_t item) const
{
    // Chunks are few (tens for gigabytes), so the search costs next to nothing per cell.
    auto it =
        std::upper_bound(m_chunks.begin(), m_chunks.end(), item,
                         [](size_t value, const Chunk& chunk) { return value < chunk.firstItem; });
    const Chunk& chunk = *(it - 1);
    const size_t nextChunkFirst = it != m_chunks.end() ? it->firstItem : m_starts.size();
    const size_t end = item + 1 < nextChunkFirst ? m_starts[item + 1] : chunk.used;
    return {chunk.data + m_starts[item], end - m_starts[item]};
}

void TextArena::shrinkToFit()
{
    if (m_tail != nullptr && m_tail->used < m_tail->capacity) {
        const uint32_t keep = std::max<uint32_t>(m_tail->used, 1);
        auto* smaller = static_cast<char*>(allocateLarge(keep));
        std::char_traits<char>::copy(smaller, m_tail->data, m_tail->used);
        releaseLarge(m_tail->data, m_tail->capacity);
        m_tail->data = smaller;
        m_tail->capacity = keep;
    }
    m_starts.shrink_to_fit();
    m_chunks.shrink_to_fit();
    m_tail = m_chunks.empty() ? nullptr : &m_chunks.back();
}

size_t TextArena::allocatedBytes() const
{
    size_t bytes = m_starts.capacity() * sizeof(uint32_t) + m_chunks.capacity() * sizeof(Chunk);
    for (const Chunk& chunk : m_chunks)
        bytes += chunk.capacity;
    return bytes;
}

} // namespace varnel
