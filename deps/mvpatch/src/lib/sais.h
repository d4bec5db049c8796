// Declares suffix array construction by induced sorting.
#pragma once

#include <cstdint>

namespace mvpatch {

// Fills sa[0..length) with the start positions of text's suffixes in ascending order. Works in
// linear time with the suffix array itself as most of its workspace. Returns false only when a
// work buffer cannot be allocated.
[[nodiscard]] bool BuildSuffixArray(const uint8_t *text, int32_t length, int32_t *sa);

} // namespace mvpatch
