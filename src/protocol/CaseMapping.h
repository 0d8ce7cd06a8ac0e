// Nicks and channel names are one name in any letter case, as the server
// folds them: byte by byte on the wire, under the CASEMAPPING it announces
// (rfc1459 unless it says otherwise).
#pragma once

#include <string>
#include <string_view>

namespace tavi {

enum class TCaseMapping : unsigned char {
  Ascii,          // A-Z only
  Rfc1459,        // and []\~ as {}|^
  StrictRfc1459,  // and []\ as {}|
};

// The value of ISUPPORT CASEMAPPING; rfc1459 for what is not known.
TCaseMapping CaseMappingNamed(std::string_view Name);

// Name folded to lower case: equal keys are the same name.
std::string NameKey(std::string_view Name, TCaseMapping Mapping = TCaseMapping::Rfc1459);

bool SameName(std::string_view A, std::string_view B, TCaseMapping Mapping = TCaseMapping::Rfc1459);

// Orders names as rfc1459 folds them, for maps keyed by channel names.
struct TNameLess {
  bool operator()(const std::string& A, const std::string& B) const { return NameKey(A) < NameKey(B); }
};

}  // namespace tavi
