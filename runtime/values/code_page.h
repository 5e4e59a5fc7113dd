// Character-set conversion between the three encodings Zuna meets.
//
//   Windows-1251  the runtime's own text: every STRING in memory, the
//                 expression language, the locale tables.
//   code page 866 text stored in files declared OEM (the register's ZUN).
//   UTF-8         only at the edges: source literals, command line, stdout
//                 and the GUI.
//
// The conversions are fixed 256-entry tables, not iconv or the C locale, so
// every station converts identically whatever its environment says.  They are
// total: every byte maps to something, and a character with no form in the
// target code page becomes '?'.  Nothing here allocates more than the result
// or keeps state; every function may be called from any thread.
#ifndef ZUNA_RUNTIME_VALUES_CODE_PAGE_H_
#define ZUNA_RUNTIME_VALUES_CODE_PAGE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace zuna::values {

// The replacement for a character that has no form in the target code page.
inline constexpr char kNoFormChar = '?';

// Unicode code point of one byte of each code page.  Codes 0-127 are ASCII
// in both.  Byte 0x98 of 1251 is unassigned and maps to U+0098 so that the
// 1251 <-> UTF-8 round trip stays lossless for every byte.
char32_t Cp1251ToUnicode(uint8_t byte);
char32_t Cp866ToUnicode(uint8_t byte);

// The 1251 byte for a code point, or kNoFormChar when it has none.
char UnicodeToCp1251(char32_t code_point);
char UnicodeToCp866(char32_t code_point);

// One byte between the two single-byte code pages; kNoFormChar when the
// character has no form in the target (for example box drawing, «, €).
char Cp866ToCp1251(char byte);
char Cp1251ToCp866(char byte);

std::string Cp866ToCp1251(std::string_view text);
std::string Cp1251ToCp866(std::string_view text);

// In-place forms for fixed-size buffers (record fields).
void Cp866ToCp1251InPlace(char* data, size_t size);
void Cp1251ToCp866InPlace(char* data, size_t size);

std::string Cp1251ToUtf8(std::string_view text);
// The same, appended to *out: a writer of many lines keeps one buffer.
void AppendCp1251AsUtf8(std::string_view text, std::string* out);
std::string Cp866ToUtf8(std::string_view text);

// Decodes UTF-8; a malformed sequence becomes one kNoFormChar per offending
// byte, and a character with no 1251 (or 866) form becomes kNoFormChar.
std::string Utf8ToCp1251(std::string_view text);
std::string Utf8ToCp866(std::string_view text);

// True when every character of the UTF-8 text has a 1251 form.
bool IsRepresentableInCp1251(std::string_view utf8);

// Shorthand for source literals written in UTF-8: W("Всего:") is the
// runtime's 1251 text.
inline std::string W(std::string_view utf8) { return Utf8ToCp1251(utf8); }

}  // namespace zuna::values

#endif  // ZUNA_RUNTIME_VALUES_CODE_PAGE_H_
