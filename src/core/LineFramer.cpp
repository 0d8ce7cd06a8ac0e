#include "core/LineFramer.h"

#include <algorithm>
#include <cstring>

#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavi {

namespace {

constexpr std::string_view CrLf("\r\n", 2);
// Taken bytes are erased only once they are many and most of the buffer,
// so that each byte is moved a bounded number of times.
constexpr std::size_t CompactAt = 4096;
// An emptied buffer larger than this gives its memory back.
constexpr std::size_t KeptCapacity = 64 * 1024;

// FindLineEnd over blocks of W bytes, From < N and W <= N: one compare finds
// the CRs, the sign bits are the high bytes.
#if defined(__x86_64__)
__attribute__((target("avx2"))) std::size_t FindLineEndAvx2(const char* P, std::size_t N, std::size_t I, bool& High) {
  constexpr std::size_t W = 32;
  const __m256i Cr = _mm256_set1_epi8('\r');
  std::uint32_t Seen = 0;
  while (I < N) {
    // The last block overlaps the one before it, with the bytes already
    // scanned masked off, so that no byte goes through a slow loop.
    const std::size_t At = I + W <= N ? I : N - W;
    const std::uint32_t Keep = ~std::uint32_t{0} << (I - At);
    const __m256i V = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(P + At));
    const std::uint32_t Signs = static_cast<std::uint32_t>(_mm256_movemask_epi8(V)) & Keep;
    std::uint32_t Crs = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(V, Cr))) & Keep;
    for (; Crs; Crs &= Crs - 1) {
      const unsigned Bit = static_cast<unsigned>(__builtin_ctz(Crs));
      if (At + Bit + 1 < N && P[At + Bit + 1] == '\n') {
        if (Seen | (Signs & ((std::uint32_t{1} << Bit) - 1))) High = true;
        return At + Bit;
      }
    }
    Seen |= Signs;
    I = At + W;
  }
  if (Seen) High = true;
  return std::string_view::npos;
}
const bool HasAvx2 = __builtin_cpu_supports("avx2");
#endif

#if defined(__SSE2__)
std::size_t FindLineEndSse2(const char* P, std::size_t N, std::size_t I, bool& High) {
  constexpr std::size_t W = 16;
  const __m128i Cr = _mm_set1_epi8('\r');
  std::uint32_t Seen = 0;
  while (I < N) {
    // The last block overlaps the one before it, with the bytes already
    // scanned masked off, so that no byte goes through a slow loop.
    const std::size_t At = I + W <= N ? I : N - W;
    const std::uint32_t Keep = ~std::uint32_t{0} << (I - At);
    const __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + At));
    const std::uint32_t Signs = static_cast<std::uint32_t>(_mm_movemask_epi8(V)) & Keep;
    std::uint32_t Crs = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(V, Cr))) & Keep;
    for (; Crs; Crs &= Crs - 1) {
      const unsigned Bit = static_cast<unsigned>(__builtin_ctz(Crs));
      if (At + Bit + 1 < N && P[At + Bit + 1] == '\n') {
        if (Seen | (Signs & ((std::uint32_t{1} << Bit) - 1))) High = true;
        return At + Bit;
      }
    }
    Seen |= Signs;
    I = At + W;
  }
  if (Seen) High = true;
  return std::string_view::npos;
}
#endif

// Offset of the first CR LF at or after From, or npos. High is set when a
// byte above 0x7F stands in front of it (anywhere scanned, when none is).
std::size_t FindLineEnd(std::string_view S, std::size_t From, bool& High) {
  const char* P = S.data();
  const std::size_t N = S.size();
  std::size_t I = From;
  if (I >= N) return std::string_view::npos;
#if defined(__x86_64__)
  if (HasAvx2 && N >= 32) return FindLineEndAvx2(P, N, I, High);
#endif
#if defined(__SSE2__)
  if (N >= 16) return FindLineEndSse2(P, N, I, High);
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

  if (start_ >= CompactAt && start_ * 2 >= pending_.size()) DropTaken();

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
    // All lines are out: what a large burst left behind goes back.
    if (pending_.capacity() > KeptCapacity && PendingSize() < KeptCapacity / 2) {
      DropTaken();
      pending_.shrink_to_fit();
    }
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
    if (pending_.capacity() > KeptCapacity) pending_.shrink_to_fit();
    start_ = scanned_ = tail_ = 0;
  }
  return true;
}

void TLineFramer::DropTaken() {
  pending_.erase(0, start_);
  scanned_ -= start_;
  tail_ -= start_;
  start_ = 0;
}

void TLineFramer::Clear() {
  pending_.clear();
  start_ = scanned_ = tail_ = 0;
  scannedHigh_ = false;
  discarding_ = false;
  discardSawCr_ = false;
}

}  // namespace tavi
