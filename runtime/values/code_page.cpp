#include "runtime/values/code_page.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

namespace zuna::values {
namespace {

// Upper halves (0x80-0xFF) of the two code pages as Unicode, from the code
// page charts published with the encodings (Windows-1251 as registered with
// IANA; IBM 866 "Cyrillic Russian").  The lower halves are ASCII.
constexpr std::array<char16_t, 128> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0 А
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // D8 Я
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0 а
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // F8 я
};

constexpr std::array<char16_t, 128> kCp866High = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // 80 А
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // 88
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // 90
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // 98 Я
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // A0 а
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // A8 п
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // E0 р
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // E8 я
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,  // F0 Ё
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,  // F8
};

constexpr char FindInHigh(const std::array<char16_t, 128>& high,
                          char32_t code_point) {
  if (code_point < 0x80) return static_cast<char>(code_point);
  for (size_t i = 0; i < high.size(); ++i) {
    if (high[i] == code_point) return static_cast<char>(0x80 + i);
  }
  return kNoFormChar;
}

// The Cyrillic block, U+0400 .. U+045F, straight to the code page's byte:
// names are nearly all Cyrillic, and a search of the high half for each
// letter cost more than the rest of a name's checks.
constexpr char32_t kCyrillicFirst = 0x400;
using CyrillicMap = std::array<char, 0x60>;

constexpr CyrillicMap BuildCyrillicMap(const std::array<char16_t, 128>& high) {
  CyrillicMap map{};
  for (size_t i = 0; i < map.size(); ++i) {
    map[i] = FindInHigh(high, kCyrillicFirst + static_cast<char32_t>(i));
  }
  return map;
}

constexpr CyrillicMap kCyrillicTo1251 = BuildCyrillicMap(kCp1251High);
constexpr CyrillicMap kCyrillicTo866 = BuildCyrillicMap(kCp866High);

char FromUnicode(char32_t code_point, const CyrillicMap& cyrillic,
                 const std::array<char16_t, 128>& high) {
  if (code_point < 0x80) return static_cast<char>(code_point);
  if (code_point - kCyrillicFirst < cyrillic.size()) {
    return cyrillic[code_point - kCyrillicFirst];
  }
  return FindInHigh(high, code_point);
}

using ByteMap = std::array<char, 256>;

constexpr ByteMap BuildByteMap(const std::array<char16_t, 128>& from,
                               const std::array<char16_t, 128>& to) {
  ByteMap map{};
  for (int b = 0; b < 128; ++b) map[b] = static_cast<char>(b);
  for (int b = 0; b < 128; ++b) map[128 + b] = FindInHigh(to, from[b]);
  return map;
}

constexpr ByteMap k866To1251 = BuildByteMap(kCp866High, kCp1251High);
constexpr ByteMap k1251To866 = BuildByteMap(kCp1251High, kCp866High);

// Hand-checked anchors: the letters А and я sit at different codes in each.
static_assert(k866To1251[0x80] == static_cast<char>(0xC0));
static_assert(k1251To866[0xFF] == static_cast<char>(0xEF));
static_assert(k1251To866[0xA8] == static_cast<char>(0xF0));  // Ё

constexpr bool KeepsAscii(const ByteMap& map) {
  for (int b = 0; b < 0x80; ++b) {
    if (map[b] != static_cast<char>(b)) return false;
  }
  return true;
}
static_assert(KeepsAscii(k866To1251) && KeepsAscii(k1251To866));

// Record fields are mostly ASCII -- digits, Latin letters and the blanks
// that pad a name -- which neither map changes (asserted above): eight
// bytes without a high bit go through untouched at once.
void MapBytesInPlace(char* data, size_t size, const ByteMap& map) {
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    if ((word & kHighBits) == 0) continue;
    for (size_t j = i; j < i + 8; ++j) data[j] = map[static_cast<uint8_t>(data[j])];
  }
  // The bytes after the last eight (the end of a name's padding, often):
  // the last eight bytes looked at once, those already done left out.
  // (Byte k of the word is its bits 8k .. 8k+7.)
  static_assert(std::endian::native == std::endian::little);
  const size_t tail = size - i;
  if (tail > 0 && size >= 8) {
    uint64_t word;
    std::memcpy(&word, data + size - 8, 8);
    if ((word & (kHighBits << (8 * (8 - tail)))) == 0) return;
  }
  for (; i < size; ++i) data[i] = map[static_cast<uint8_t>(data[i])];
}

std::string MapBytes(std::string_view text, const ByteMap& map) {
  std::string out(text.size(), '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    out[i] = map[static_cast<uint8_t>(text[i])];
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 character at text[pos]; returns the code point and the
// bytes consumed.  A malformed or overlong sequence yields (U+FFFD, 1) so the
// caller substitutes one character per bad byte and resynchronises.
std::pair<char32_t, size_t> DecodeUtf8(std::string_view text, size_t pos) {
  constexpr std::pair<char32_t, size_t> kBad{0xFFFD, 1};
  const auto lead = static_cast<uint8_t>(text[pos]);
  if (lead < 0x80) return {lead, 1};
  size_t length;
  char32_t cp;
  char32_t min;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    return kBad;
  }
  if (text.size() - pos < length) return kBad;
  for (size_t i = 1; i < length; ++i) {
    const auto cont = static_cast<uint8_t>(text[pos + i]);
    if ((cont & 0xC0) != 0x80) return kBad;
    cp = (cp << 6) | (cont & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kBad;
  return {cp, length};
}

template <typename Encode>
std::string FromUtf8(std::string_view text, Encode encode) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const auto [cp, used] = DecodeUtf8(text, pos);
    out.push_back(encode(cp));
    pos += used;
  }
  return out;
}

}  // namespace

char32_t Cp1251ToUnicode(uint8_t byte) {
  return byte < 0x80 ? byte : kCp1251High[byte - 0x80];
}

char32_t Cp866ToUnicode(uint8_t byte) {
  return byte < 0x80 ? byte : kCp866High[byte - 0x80];
}

char UnicodeToCp1251(char32_t code_point) {
  return FromUnicode(code_point, kCyrillicTo1251, kCp1251High);
}

char UnicodeToCp866(char32_t code_point) {
  return FromUnicode(code_point, kCyrillicTo866, kCp866High);
}

char Cp866ToCp1251(char byte) { return k866To1251[static_cast<uint8_t>(byte)]; }
char Cp1251ToCp866(char byte) { return k1251To866[static_cast<uint8_t>(byte)]; }

std::string Cp866ToCp1251(std::string_view text) {
  return MapBytes(text, k866To1251);
}

std::string Cp1251ToCp866(std::string_view text) {
  return MapBytes(text, k1251To866);
}

void Cp866ToCp1251InPlace(char* data, size_t size) {
  MapBytesInPlace(data, size, k866To1251);
}

void Cp1251ToCp866InPlace(char* data, size_t size) {
  MapBytesInPlace(data, size, k1251To866);
}

void AppendCp1251AsUtf8(std::string_view text, std::string* out) {
  // Every byte's UTF-8 form, made once: the conversion of each line a
  // program prints is then a walk through a table.  [0] is the length.
  using Form = std::array<char, 4>;
  static const std::array<Form, 256> kForms = [] {
    std::array<Form, 256> forms{};
    for (int b = 0; b < 256; ++b) {
      std::string utf8;
      AppendUtf8(utf8, Cp1251ToUnicode(static_cast<uint8_t>(b)));
      forms[b][0] = static_cast<char>(utf8.size());
      std::copy(utf8.begin(), utf8.end(), forms[b].begin() + 1);
    }
    return forms;
  }();
  const size_t start = out->size();
  out->resize(start + text.size() * 3);
  char* at = out->data() + start;
  for (char c : text) {
    const Form& form = kForms[static_cast<uint8_t>(c)];
    std::memcpy(at, form.data() + 1, 3);
    at += form[0];
  }
  out->resize(static_cast<size_t>(at - out->data()));
}

std::string Cp1251ToUtf8(std::string_view text) {
  std::string out;
  AppendCp1251AsUtf8(text, &out);
  return out;
}

std::string Cp866ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) AppendUtf8(out, Cp866ToUnicode(static_cast<uint8_t>(c)));
  return out;
}

std::string Utf8ToCp1251(std::string_view text) {
  return FromUtf8(text, UnicodeToCp1251);
}

std::string Utf8ToCp866(std::string_view text) {
  return FromUtf8(text, UnicodeToCp866);
}

bool IsRepresentableInCp1251(std::string_view utf8) {
  for (size_t pos = 0; pos < utf8.size();) {
    const auto [cp, used] = DecodeUtf8(utf8, pos);
    if (cp != static_cast<char32_t>(kNoFormChar) &&
        UnicodeToCp1251(cp) == kNoFormChar) {
      return false;
    }
    pos += used;
  }
  return true;
}

}  // namespace zuna::values
