#include "session/LineFramer.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavi {

namespace {

constexpr std::string_view CrLf("\r\n", 2);
// Taken bytes are erased only once they are many and most of the buffer,
// so that each byte is moved a bounded number of times.
constexpr std::size_t CompactAt = 4096;

// Offset of the first CR LF at or after From, or npos. High is set when a
// byte above 0x7F stands in front of it (anywhere scanned, when none is).
std::size_t FindLineEnd(std::string_view S, std::size_t From, bool& High) {
  const char* P = S.data();
  const std::size_t N = S.size();
  std::size_t I = From;
#if defined(__SSE2__)
  // Sixteen bytes at a time: one compare finds the CRs, the sign bits are the
  // high bytes.
  const __m128i Cr = _mm_set1_epi8('\r');
  for (; I + 16 <= N; I += 16) {
    const __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + I));
    const unsigned Signs = static_cast<unsigned>(_mm_movemask_epi8(V));
    for (unsigned Crs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(V, Cr))); Crs; Crs &= Crs - 1) {
      const unsigned Bit = static_cast<unsigned>(__builtin_ctz(Crs));
      if (I + Bit + 1 < N && P[I + Bit + 1] == '\n') {
        if (Signs & ((1u << Bit) - 1)) High = true;
        return I + Bit;
      }
    }
    if (Signs) High = true;
  }
#endif
  for (; I < N; ++I) {
    if (P[I] == '\r' && I + 1 < N && P[I + 1] == '\n') return I;
    if (static_cast<unsigned char>(P[I]) >= 0x80) High = true;
  }
  return std::string_view::npos;
}

}  // namespace

void TLineFramer::Append(std::string_view Bytes) {
  if (discarding_) {
    std::size_t I = 0;
    bool Ended = false;
    for (; I < Bytes.size(); ++I) {
      const char C = Bytes[I];
      if (C == '\0') continue;
      if (C == '\n' && discardSawCr_) {
        Ended = true;
        ++I;
        break;
      }
      discardSawCr_ = C == '\r';
    }
    if (!Ended) return;
    discarding_ = false;
    discardSawCr_ = false;
    Bytes.remove_prefix(I);
    // The dropped line was cut here, so the blanks behind it go as well.
    while (!Bytes.empty() && (Bytes.front() == ' ' || Bytes.front() == '\0')) Bytes.remove_prefix(1);
  }
  if (Bytes.empty()) return;

  if (start_ >= CompactAt && start_ * 2 >= pending_.size()) {
    pending_.erase(0, start_);
    scanned_ -= start_;
    tail_ -= start_;
    start_ = 0;
  }

  const std::size_t Old = pending_.size();
  while (!Bytes.empty()) {
    const void* Zero = std::memchr(Bytes.data(), '\0', Bytes.size());
    const std::size_t Keep = Zero ? static_cast<std::size_t>(static_cast<const char*>(Zero) - Bytes.data()) : Bytes.size();
    pending_.append(Bytes.data(), Keep);
    Bytes.remove_prefix(Zero ? Keep + 1 : Keep);
  }

  // Only the new bytes (and a CR just before them) can end a line now.
  const std::size_t From = std::max(start_, Old > 0 ? Old - 1 : 0);
  const std::size_t Last = std::string_view(pending_).substr(From).rfind(CrLf);
  if (Last != std::string_view::npos) tail_ = From + Last + 2;

  std::size_t Partial = pending_.size() - tail_;
  if (Partial > 0 && pending_.back() == '\r') --Partial;  // may be the start of its CR LF
  if (Partial > MaxLineLength) {
    discarding_ = true;
    discardSawCr_ = pending_.back() == '\r';
    pending_.resize(tail_);
    scanned_ = std::min(scanned_, pending_.size());
    if (tail_ <= start_) scannedHigh_ = false;  // what was scanned is gone
  }
}

bool TLineFramer::TakeLine(std::string& Line) {
  bool HighBytes = false;
  return TakeLine(Line, HighBytes);
}

bool TLineFramer::TakeLine(std::string& Line, bool& HighBytes) {
  if (start_ >= pending_.size()) {
    pending_.clear();
    start_ = scanned_ = tail_ = 0;
    scannedHigh_ = false;
    return false;
  }
  const std::size_t End = FindLineEnd(pending_, std::max(start_, scanned_), scannedHigh_);
  if (End == std::string_view::npos) {
    scanned_ = std::max(start_, pending_.size() - 1);
    return false;
  }
  HighBytes = scannedHigh_;
  scannedHigh_ = false;
  Line.assign(pending_, start_, End + 2 - start_);
  start_ = End + 2;
  while (start_ < pending_.size() && pending_[start_] == ' ') ++start_;
  scanned_ = start_;
  tail_ = std::max(tail_, start_);
  if (start_ == pending_.size()) {
    pending_.clear();
    start_ = scanned_ = tail_ = 0;
  }
  return true;
}

void TLineFramer::Clear() {
  pending_.clear();
  start_ = scanned_ = tail_ = 0;
  scannedHigh_ = false;
  discarding_ = false;
  discardSawCr_ = false;
}

}  // namespace tavi
