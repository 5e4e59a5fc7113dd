#include "runtime/values/env_file.h"

#include "runtime/values/code_page.h"

namespace zuna::values {
namespace {

constexpr std::string_view kCharsetName = "VANCHARSET";
constexpr std::string_view kCollationName = "VANCOLSEQ";

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// A value character after escape decoding.  `syntax` is false for characters
// made by an escape: they never act as a quote or a comma.
struct ValueChar {
  char c;
  bool syntax;
};

using DecodedValue = std::vector<ValueChar>;

bool IsSyntax(const DecodedValue& v, size_t i, char c) {
  return i < v.size() && v[i].syntax && v[i].c == c;
}

// Reads the escape at raw[start] == '<'.  Returns how many raw characters it
// used and stores the decoded characters in `out`.
size_t DecodeEscape(std::string_view raw, size_t start, DecodedValue& out) {
  size_t end = start + 1;
  int code = 0;
  while (end < raw.size() && IsAsciiDigit(raw[end])) {
    // Saturate just above a byte: a thousand-digit escape must not overflow.
    if (code <= 255) code = code * 10 + (raw[end] - '0');
    ++end;
  }
  if (end == start + 1) {  // '<' not followed by a digit stands for itself
    out.push_back({'<', true});
    return 1;
  }
  if (end < raw.size() && raw[end] == '>') ++end;
  if (code > 255) {
    // Not a character: keep the text as written rather than wrap it into
    // some unrelated byte.
    for (size_t i = start; i < end; ++i) out.push_back({raw[i], false});
  } else {
    out.push_back({static_cast<char>(code), false});
  }
  return end - start;
}

DecodedValue DecodeEscapes(std::string_view raw) {
  DecodedValue out;
  out.reserve(raw.size());
  size_t i = 0;
  while (i < raw.size()) {
    if (raw[i] == '<') {
      i += DecodeEscape(raw, i, out);
    } else {
      out.push_back({raw[i], true});
      ++i;
    }
  }
  return out;
}

size_t SkipBlanks(const DecodedValue& v, size_t i) {
  while (i < v.size() && v[i].syntax && IsBlankOrTab(v[i].c)) ++i;
  return i;
}

// A quoted item starting at the opening quote; returns the index after the
// closing quote (or the end when the quote is never closed).
size_t ReadQuoted(const DecodedValue& v, size_t i, std::string& item) {
  ++i;  // the opening quote
  while (i < v.size()) {
    if (IsSyntax(v, i, '"')) {
      if (!IsSyntax(v, i + 1, '"')) return i + 1;
      item.push_back('"');
      i += 2;
    } else {
      item.push_back(v[i].c);
      ++i;
    }
  }
  return i;
}

std::vector<std::string> SplitQuoted(const DecodedValue& v) {
  std::vector<std::string> items;
  size_t i = 0;
  while (true) {
    i = SkipBlanks(v, i);
    std::string item;
    if (IsSyntax(v, i, '"')) {
      i = ReadQuoted(v, i, item);
      while (i < v.size() && !IsSyntax(v, i, ',')) ++i;  // stray text
    } else {
      for (; i < v.size() && !IsSyntax(v, i, ','); ++i) item.push_back(v[i].c);
    }
    items.push_back(std::move(item));
    if (i >= v.size()) return items;
    ++i;  // the comma
  }
}

std::vector<std::string> SplitPlain(const DecodedValue& v,
                                    bool comma_separates) {
  std::vector<std::string> items(1);
  for (const ValueChar& vc : v) {
    if (comma_separates && vc.syntax && vc.c == ',') {
      items.emplace_back();
    } else {
      items.back().push_back(vc.c);
    }
  }
  return items;
}

EnvLine ReadLine(std::string_view line, size_t equals) {
  EnvLine out;
  for (size_t i = 0; i < equals && out.name.size() < kMaxNameLength; ++i) {
    if (!IsBlankOrTab(line[i])) out.name.push_back(AsciiUpper(line[i]));
  }
  std::string_view value = line.substr(equals + 1);
  if (value.size() > kMaxValueLength) value = value.substr(0, kMaxValueLength);
  while (!value.empty() && IsBlankOrTab(value.back())) value.remove_suffix(1);
  out.value = std::string(value);
  return out;
}

bool IsOemSwitch(const std::vector<EnvLine>& lines) {
  bool oem = false;
  for (const EnvLine& line : lines) {
    if (line.name != kCharsetName) continue;
    const auto strings = ParseEnvironmentValue(line.value, true);
    oem = EqualsIgnoringAsciiCase(strings.front(), "OEM");
  }
  return oem;
}

}  // namespace

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

std::vector<EnvLine> SplitEnvironmentLines(std::string_view text) {
  if (const size_t eof = text.find(kEndOfFileChar); eof != text.npos) {
    text = text.substr(0, eof);
  }
  std::vector<EnvLine> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == text.npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    if (const size_t equals = line.find('='); equals != line.npos) {
      lines.push_back(ReadLine(line, equals));
    }
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> ParseEnvironmentValue(std::string_view raw_value,
                                               bool comma_separates) {
  const DecodedValue decoded = DecodeEscapes(raw_value);
  if (IsSyntax(decoded, SkipBlanks(decoded, 0), '"')) {
    return SplitQuoted(decoded);
  }
  return SplitPlain(decoded, comma_separates);
}

EnvironmentFile ReadEnvironmentFile(std::string_view text) {
  const std::vector<EnvLine> lines = SplitEnvironmentLines(text);
  EnvironmentFile file;
  file.oem = IsOemSwitch(lines);
  file.settings.reserve(lines.size());
  for (const EnvLine& line : lines) {
    EnvSetting setting{line.name, ParseEnvironmentValue(
                                      line.value, line.name != kCollationName)};
    if (file.oem && line.name != kCharsetName) {
      for (std::string& s : setting.strings) s = Cp866ToCp1251(s);
    }
    file.settings.push_back(std::move(setting));
  }
  return file;
}

}  // namespace zuna::values
