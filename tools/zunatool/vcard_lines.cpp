#include "tools/zunatool/vcard_lines.h"

#include <iconv.h>

#include <cctype>

#include "runtime/values/code_page.h"

namespace zuna::tool {
namespace {

std::string Upper(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return result;
}

bool IsBlank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

// The part of a content line before its first ':' outside quotes: the name
// and parameters.  npos when there is no such ':'.
size_t ValueColon(std::string_view line) {
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ':' && !quoted) return i;
  }
  return std::string_view::npos;
}

bool IsQuotedPrintable(std::string_view line) {
  const size_t colon = ValueColon(line);
  const std::string head = Upper(line.substr(0, colon));
  return head.find("QUOTED-PRINTABLE") != std::string::npos;
}

struct RawLine {
  int line_no = 0;
  std::string text;
};

// Physical lines joined into content lines, blank ones dropped.
std::vector<RawLine> Unfold(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<RawLine> lines;
  bool open = false;  // lines.back() may still be continued
  int line_no = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++line_no;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (open) {
      std::string& last = lines.back().text;
      if (last.ends_with('=') && IsQuotedPrintable(last)) {
        last.pop_back();  // a soft line break
        last += line;
        continue;
      }
      if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
        last += line.substr(1);
        continue;
      }
    }
    open = !IsBlank(line);
    if (open) lines.push_back({line_no, std::string(line)});
  }
  return lines;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "=XY" becomes the byte XY; a '=' not followed by two hex digits is kept,
// as the writers that produce one meant it.
std::string DecodeQuotedPrintable(std::string_view value) {
  std::string result;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '=' && i + 2 < value.size() && HexDigit(value[i + 1]) >= 0 &&
        HexDigit(value[i + 2]) >= 0) {
      result += static_cast<char>(HexDigit(value[i + 1]) * 16 + HexDigit(value[i + 2]));
      i += 2;
    } else {
      result += value[i];
    }
  }
  return result;
}

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    if (lead < 0x80) {
      extra = 0;
    } else if (lead >= 0xC2 && lead < 0xE0) {
      extra = 1;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      extra = 2;
    } else if (lead >= 0xF0 && lead < 0xF5) {
      extra = 3;
    } else {
      return false;
    }
    if (i + extra >= text.size() && extra > 0) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

// `bytes` in `charset` as UTF-8, through the C library's iconv, which knows
// every character set the writers name; nullopt for one it does not know
// or bytes that are not in it.
std::optional<std::string> ToUtf8(std::string_view bytes, const std::string& charset) {
  iconv_t cd = iconv_open("UTF-8", charset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string in(bytes);
  std::string out(in.size() * 4 + 4, '\0');
  char* in_ptr = in.data();
  size_t in_left = in.size();
  char* out_ptr = out.data();
  size_t out_left = out.size();
  const size_t done = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1)) return std::nullopt;
  out.resize(out.size() - out_left);
  return out;
}

// Splits "NAME;P=V;P2=\"a:b\"" into the line's name and parameters.
void ParseHead(std::string_view head, VcardLine* line) {
  std::vector<std::string> parts;
  std::string part;
  bool quoted = false;
  for (char c : head) {
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (c == ';' && !quoted) {
      parts.push_back(std::move(part));
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(std::move(part));
  std::string name = Upper(parts[0]);
  const size_t dot = name.rfind('.');
  line->name = dot == std::string::npos ? name : name.substr(dot + 1);
  for (size_t i = 1; i < parts.size(); ++i) {
    const size_t equals = parts[i].find('=');
    if (equals == std::string::npos) {
      line->params.push_back({"", parts[i]});
    } else {
      line->params.push_back({Upper(parts[i].substr(0, equals)), parts[i].substr(equals + 1)});
    }
  }
}

std::string Where(int line_no) { return "строка " + std::to_string(line_no) + ": "; }

}  // namespace

std::optional<std::string> VcardLine::Param(std::string_view wanted) const {
  for (const VcardParam& p : params) {
    if (p.name == wanted) return Upper(p.value);
    if (p.name.empty() && wanted == "ENCODING") {
      const std::string word = Upper(p.value);
      if (word == "QUOTED-PRINTABLE" || word == "BASE64" || word == "8BIT" || word == "7BIT") {
        return word;
      }
    }
  }
  return std::nullopt;
}

std::optional<std::string> ReadVcardLines(std::string_view text,
                                          std::vector<VcardLine>* lines) {
  bool is_v21 = false;
  for (RawLine& raw : Unfold(text)) {
    const size_t colon = ValueColon(raw.text);
    if (colon == std::string::npos) {
      return Where(raw.line_no) + "ожидается ИМЯ:ЗНАЧЕНИЕ, а написано «" + raw.text + "»";
    }
    VcardLine line;
    line.line_no = raw.line_no;
    ParseHead(std::string_view(raw.text).substr(0, colon), &line);
    if (line.name.empty()) return Where(raw.line_no) + "у свойства нет имени";
    std::string value = raw.text.substr(colon + 1);
    const std::optional<std::string> encoding = line.Param("ENCODING");
    if (encoding == "QUOTED-PRINTABLE") value = DecodeQuotedPrintable(value);
    const bool is_binary = encoding == "BASE64" || encoding == "B";
    if (const auto charset = line.Param("CHARSET"); charset && !is_binary &&
                                                     *charset != "UTF-8") {
      if (auto converted = ToUtf8(value, *charset)) {
        value = std::move(*converted);
      } else {
        line.undecodable = Where(raw.line_no) + "текст не в кодировке " + *charset +
                           " или она неизвестна";
      }
    } else if (is_v21 && !is_binary && !charset && !IsValidUtf8(value)) {
      value = values::Cp1251ToUtf8(value);
    }
    line.value = std::move(value);
    if (line.name == "BEGIN") is_v21 = false;
    if (line.name == "VERSION") is_v21 = line.value == "2.1";
    lines->push_back(std::move(line));
  }
  return std::nullopt;
}

std::string UnescapeText(std::string_view value) {
  std::string result;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      const char next = value[++i];
      result += (next == 'n' || next == 'N') ? '\n' : next;
    } else {
      result += value[i];
    }
  }
  return result;
}

std::vector<std::string> SplitComponents(std::string_view value) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= value.size(); ++i) {
    if (i == value.size() || value[i] == ';') {
      parts.push_back(UnescapeText(value.substr(start, i - start)));
      start = i + 1;
    } else if (value[i] == '\\' && i + 1 < value.size()) {
      ++i;
    }
  }
  return parts;
}

std::string EscapeText(std::string_view text) {
  std::string result;
  for (char c : text) {
    if (c == '\\' || c == ',' || c == ';') {
      result += '\\';
      result += c;
    } else if (c == '\n') {
      result += "\\n";
    } else {
      result += c;
    }
  }
  return result;
}

}  // namespace zuna::tool
