// The batches a server has opened and not yet ended ("BATCH +ref type ...",
// "BATCH -ref"), nested ones with the batch around them. Bounded: a server
// that opens batches and never ends them pushes out the oldest.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {

struct TBatch {
  std::string Ref;
  std::string Type;
  std::vector<std::string> Params;
  std::string Parent;  // the batch this one is inside; empty for none
  // Members a netsplit or netjoin took or brought, per channel (wire name).
  std::map<std::string, int> Members;
};

class TBatches {
 public:
  static constexpr std::size_t MaxOpen = 64;

  // Opens Ref inside Parent (a ref that is not open counts as none). A ref
  // already open is left as it is.
  void Open(const std::string& Ref, const std::string& Type, std::vector<std::string> Params,
            const std::string& Parent);
  // Ends Ref, and any batch still open inside it; nullopt for a ref not open.
  std::optional<TBatch> Close(std::string_view Ref);
  // The innermost batch around a line tagged with Ref (Ref itself or one it
  // is inside) whose type is one of Types; nullptr for none.
  TBatch* Within(std::string_view Ref, std::initializer_list<std::string_view> Types);
  std::size_t Count() const { return open_.size(); }
  void Clear() { open_.clear(); }

 private:
  TBatch* Find(std::string_view Ref);

  std::vector<TBatch> open_;  // oldest first
};

}  // namespace tavi
