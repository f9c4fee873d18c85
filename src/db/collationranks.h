#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

class QCollator;

namespace varnel {

// The ranks of UTF-8 `texts` in `collator`'s order: a lower rank sorts first, and texts that
// collate equal share a rank. Where the collation allows it, texts are ranked by the primary
// classes of their characters and the collator is asked only about the few texts that those
// leave equal, instead of building a sort key for each text.
std::vector<uint32_t> collationRanks(const std::vector<std::string_view>& texts,
                                     const QCollator& collator);

} // namespace varnel
