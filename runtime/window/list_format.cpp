#include "runtime/window/list_format.h"

#include <cctype>

namespace zuna::window {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}
  bool done() const { return pos_ >= text_.size(); }
  char peek() const { return done() ? '\0' : text_[pos_]; }
  char take() { return done() ? '\0' : text_[pos_++]; }

  // Digits at the cursor; false (nothing consumed) when there are none.
  bool Number(int32_t& value) {
    size_t start = pos_;
    int64_t n = 0;
    while (!done() && std::isdigit(static_cast<unsigned char>(peek()))) {
      if (n < 1000000) n = n * 10 + (take() - '0');
      else take();
    }
    value = static_cast<int32_t>(n);
    return pos_ > start;
  }

  // "(n)" at the cursor, read into `value`; nothing when absent.
  void Offset(int32_t& value) {
    if (peek() != '(') return;
    take();
    bool negative = false;
    if (peek() == '-') {
      negative = true;
      take();
    }
    int32_t n = 0;
    Number(n);
    value = negative ? -n : n;
    if (peek() == ')') take();
  }

  // Text up to the next `mark`, which is consumed; the rest when absent.
  std::string Until(char mark) {
    std::string out;
    while (!done() && peek() != mark) out += take();
    if (!done()) take();
    return out;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

bool IsAlignLetter(char c) {
  char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u == 'L' || u == 'R' || u == 'C' || u == 'D';
}

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

}  // namespace

std::vector<ListColumn> ParseListFormat(std::string_view format) {
  std::vector<ListColumn> columns;
  Reader in(format);
  while (!in.done()) {
    ListColumn column;
    if (!in.Number(column.width)) break;
    if (IsAlignLetter(in.peek())) {
      column.align = Upper(in.take());
      in.Offset(column.offset);
    }
    // Flags, the header and the picture, until the next column's width.
    while (!in.done() && !std::isdigit(static_cast<unsigned char>(in.peek()))) {
      char c = in.take();
      if (c == '|') {
        column.right_border = true;
      } else if (c == '~') {
        column.header = in.Until('~');
        if (IsAlignLetter(in.peek())) {
          column.header_align = Upper(in.take());
          in.Offset(column.header_offset);
        }
      } else if (c == '@') {
        column.picture = "@" + in.Until('@');
      } else if (Upper(c) == 'M') {
        column.resizable = true;
      } else if (c != ' ') {
        column.flags += c;
      }
    }
    columns.push_back(std::move(column));
  }
  return columns;
}

bool HasHeaders(const std::vector<ListColumn>& columns) {
  for (const ListColumn& column : columns) {
    if (!column.header.empty()) return true;
  }
  return false;
}

}  // namespace zuna::window
