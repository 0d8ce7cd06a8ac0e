#include "protocol/CaseMapping.h"

namespace tavi {

namespace {

char Fold(char C, TCaseMapping Mapping) {
  if (C >= 'A' && C <= 'Z') return static_cast<char>(C - 'A' + 'a');
  if (Mapping == TCaseMapping::Ascii) return C;
  switch (C) {
    case '[': return '{';
    case ']': return '}';
    case '\\': return '|';
    case '~': return Mapping == TCaseMapping::Rfc1459 ? '^' : C;
    default: return C;
  }
}

}  // namespace

TCaseMapping CaseMappingNamed(std::string_view Name) {
  if (Name == "ascii") return TCaseMapping::Ascii;
  if (Name == "strict-rfc1459") return TCaseMapping::StrictRfc1459;
  return TCaseMapping::Rfc1459;
}

std::string NameKey(std::string_view Name, TCaseMapping Mapping) {
  std::string key(Name);
  for (char& c : key) c = Fold(c, Mapping);
  return key;
}

bool SameName(std::string_view A, std::string_view B, TCaseMapping Mapping) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i)
    if (Fold(A[i], Mapping) != Fold(B[i], Mapping)) return false;
  return true;
}

}  // namespace tavi
