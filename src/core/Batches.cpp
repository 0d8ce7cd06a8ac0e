#include "core/Batches.h"

#include <algorithm>

namespace tavi {

TBatch* TBatches::Find(std::string_view Ref) {
  const auto it = std::find_if(open_.begin(), open_.end(), [&](const TBatch& B) { return B.Ref == Ref; });
  return it == open_.end() ? nullptr : &*it;
}

void TBatches::Open(const std::string& Ref, const std::string& Type, std::vector<std::string> Params,
                    const std::string& Parent) {
  if (Ref.empty() || Find(Ref)) return;
  if (open_.size() >= MaxOpen) open_.erase(open_.begin());
  TBatch batch;
  batch.Ref = Ref;
  batch.Type = Type;
  batch.Params = std::move(Params);
  if (Find(Parent)) batch.Parent = Parent;
  open_.push_back(std::move(batch));
}

std::optional<TBatch> TBatches::Close(std::string_view Ref) {
  const auto it = std::find_if(open_.begin(), open_.end(), [&](const TBatch& B) { return B.Ref == Ref; });
  if (it == open_.end()) return std::nullopt;
  TBatch closed = std::move(*it);
  open_.erase(it);
  // Batches left open inside it can never end now; so with theirs in turn.
  std::vector<std::string> orphans{closed.Ref};
  while (!orphans.empty()) {
    const std::string parent = std::move(orphans.back());
    orphans.pop_back();
    for (auto child = open_.begin(); child != open_.end();) {
      if (child->Parent != parent) {
        ++child;
        continue;
      }
      orphans.push_back(child->Ref);
      child = open_.erase(child);
    }
  }
  return closed;
}

TBatch* TBatches::Within(std::string_view Ref, std::initializer_list<std::string_view> Types) {
  TBatch* batch = Find(Ref);
  // A parent is always older than its child: the chain is at most as long
  // as the batches open.
  for (std::size_t depth = 0; batch && depth < open_.size(); ++depth) {
    if (std::find(Types.begin(), Types.end(), batch->Type) != Types.end()) return batch;
    batch = batch->Parent.empty() ? nullptr : Find(batch->Parent);
  }
  return nullptr;
}

}  // namespace tavi
