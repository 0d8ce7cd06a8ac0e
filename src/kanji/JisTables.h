// The generated JIS X 0212 and JIS X 0213 data (JisX0212Table.cpp,
// JisX0213Table.cpp; see scripts/gen-jis-tables.sh); used by WireText.cpp.
#pragma once

#include <cstddef>

namespace tavi::jis {

// Rows 1..94 at index row - 1, cells 1..94 at index cell - 1; a row without
// characters is null, a cell without one 0.
extern const char16_t* const X0212Rows[94];

// Planes 1 and 2. A value from PairBase on is a code that stands for two
// characters, a base and a combining mark: X0213Pairs[value - PairBase].
inline constexpr char32_t PairBase = 0x110000;
extern const char32_t* const X0213Rows[2][94];
extern const char32_t X0213Pairs[][2];
extern const std::size_t X0213PairCount;

}  // namespace tavi::jis
