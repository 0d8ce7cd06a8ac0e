#include "kanji/SjisText.h"

#include "kanji/Cp932.h"
#include "kanji/Kanji.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace tavi {

namespace {

// One converter per direction and thread; iconv handles are not shareable.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }
  void reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

 private:
  iconv_t cd_;
};

bool IsAscii(std::string_view Text) {
  for (char c : Text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

QString FromSjis(std::string_view Text) {
  if (IsAscii(Text)) return QString::fromLatin1(Text.data(), static_cast<qsizetype>(Text.size()));

  thread_local Converter conv("UTF-16LE", "CP932");
  QString result;
  if (!conv.valid()) return QString::fromLatin1(Text.data(), static_cast<qsizetype>(Text.size()));
  conv.reset();

  std::vector<char16_t> buffer(Text.size() + 4);
  char* in = const_cast<char*>(Text.data());
  std::size_t inLeft = Text.size();
  result.reserve(static_cast<qsizetype>(Text.size()));
  while (inLeft > 0) {
    char* out = reinterpret_cast<char*>(buffer.data());
    std::size_t outLeft = buffer.size() * sizeof(char16_t);
    const std::size_t rc = iconv(conv.get(), &in, &inLeft, &out, &outLeft);
    const auto produced = static_cast<qsizetype>((buffer.size() * sizeof(char16_t) - outLeft) / sizeof(char16_t));
    result.append(reinterpret_cast<const QChar*>(buffer.data()), produced);
    if (rc == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // An undecodable byte shows as a replacement; decoding goes on behind it.
      result.append(QChar(0xFFFD));
      ++in;
      --inLeft;
      conv.reset();
    }
  }
  return result;
}

std::string ToSjis(const QString& Text) {
  bool ascii = true;
  for (QChar c : Text)
    if (c.unicode() >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii) return Text.toLatin1().toStdString();

  thread_local Converter conv("CP932", "UTF-16LE");
  std::string result;
  if (!conv.valid()) return Text.toLatin1().toStdString();
  conv.reset();

  std::vector<char16_t> units;
  units.reserve(static_cast<std::size_t>(Text.size()));
  for (QChar c : Text) units.push_back(ToCp932Variant(c.unicode()));

  char* in = reinterpret_cast<char*>(units.data());
  std::size_t inLeft = units.size() * sizeof(char16_t);
  std::vector<char> buffer(units.size() * 2 + 8);
  while (inLeft > 0) {
    char* out = buffer.data();
    std::size_t outLeft = buffer.size();
    const std::size_t rc = iconv(conv.get(), &in, &inLeft, &out, &outLeft);
    result.append(buffer.data(), buffer.size() - outLeft);
    if (rc == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // A character Shift-JIS cannot hold; a surrogate pair counts as one.
      result.push_back('?');
      std::size_t skip = sizeof(char16_t);
      const char16_t unit = *reinterpret_cast<const char16_t*>(in);
      if (unit >= 0xD800 && unit <= 0xDBFF && inLeft >= 2 * sizeof(char16_t)) {
        const char16_t next = *reinterpret_cast<const char16_t*>(in + sizeof(char16_t));
        if (next >= 0xDC00 && next <= 0xDFFF) skip *= 2;
      }
      in += skip;
      inLeft -= skip;
      conv.reset();
    }
  }
  return result;
}

QString DisplayLineText(std::string_view Text) {
  return Text.size() <= DisplayLineBytes ? FromSjis(Text) : FromSjis(CutForDisplay(Text));
}

}  // namespace tavi
