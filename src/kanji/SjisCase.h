// Letter case on Shift-JIS text. Only single-byte ASCII letters change; the
// trail byte of a double-byte character may look like a letter and is kept.
#pragma once

#include <string>
#include <string_view>

namespace tavi {

// Upper-cases ASCII letters; keeps the length, so positions stay valid.
std::string SjisUpperCase(std::string_view Text);

// Case-insensitive comparison in the same sense: <0, 0 or >0.
int SjisCompareText(std::string_view A, std::string_view B);

inline bool SjisSameText(std::string_view A, std::string_view B) {
  return A.size() == B.size() && SjisCompareText(A, B) == 0;
}

// Orders names as SjisCompareText does, for maps keyed by channel names.
struct TSjisCaselessLess {
  bool operator()(const std::string& A, const std::string& B) const { return SjisCompareText(A, B) < 0; }
};

}  // namespace tavi
