// The edge between the program's Unicode text (UTF-8 std::string) and the
// bytes of the wire: received lines are read by what they most probably are
// (ISO-2022-JP in every form that occurs, UTF-8, Shift-JIS with the NEC and
// IBM extensions) and written in the encoding a window or network chose.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavi {

enum class TWireEncoding : unsigned char {
  Ascii,  // read only: the line held no byte above 0x7F and no escape
  Jis,    // ISO-2022-JP
  Sjis,   // Shift-JIS, code page 932
  Utf8,
};

// Decodes received bytes (one line, its CR LF kept if there) to UTF-8. Bytes
// that decode as nothing become U+FFFD and never hide the rest. Found, when
// given, says what the bytes were read as.
std::string DecodeWire(std::string_view Bytes, TWireEncoding* Found = nullptr);

// Writes UTF-8 text in Encoding (Ascii is taken as UTF-8). A character the
// encoding cannot hold becomes the geta mark (U+3013 in that encoding) and,
// when Unencodable is given, is appended to it (each character once). JIS
// output is ISO-2022-JP that glibc's iconv reads whole: half-width katakana
// as full-width, compatibility forms ("(1)" for U+2460) where JIS X 0208
// holds them, and every line back in ASCII at its end.
std::string EncodeWire(std::string_view Utf8, TWireEncoding Encoding, std::u32string* Unencodable = nullptr);

// The characters of Utf8 that Encoding cannot hold (each once, in order).
std::u32string UnencodableCharacters(std::string_view Utf8, TWireEncoding Encoding);

// The length of the longest prefix of Utf8 that ends between characters and
// whose encoding in Encoding takes at most MaxBytes bytes.
std::size_t FitWireBytes(std::string_view Utf8, TWireEncoding Encoding, std::size_t MaxBytes);

// Well-formed UTF-8: each byte of an ill-formed sequence becomes U+FFFD.
std::string ValidUtf8(std::string_view Text);

}  // namespace tavi
