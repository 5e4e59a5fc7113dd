#include "runtime/window/popup_menu.h"

namespace zuna::window {
namespace {

PopupEntry MakeEntry(std::string_view raw, int32_t depth) {
  PopupEntry entry;
  entry.depth = depth;
  if (raw == "-") {
    entry.separator = true;
    return entry;
  }
  size_t pos = 0;
  if (pos < raw.size() && raw[pos] == '~') {
    entry.disabled = true;
    ++pos;
  }
  if (pos < raw.size() && raw[pos] == '+') {
    entry.check = 1;
    ++pos;
  } else if (pos < raw.size() && raw[pos] == '-' && pos + 1 < raw.size()) {
    entry.check = 2;
    ++pos;
  }
  if (pos < raw.size() && raw[pos] == '[') {
    size_t close = raw.find(']', pos);
    if (close != std::string_view::npos) {
      entry.attributes = std::string(raw.substr(pos + 1, close - pos - 1));
      pos = close + 1;
    }
  }
  entry.text = std::string(raw.substr(pos));
  return entry;
}

}  // namespace

std::vector<PopupEntry> ParsePopupMenu(std::string_view menu_text) {
  std::vector<PopupEntry> entries;
  int32_t depth = 1;
  std::string current;
  bool have_text = false;
  auto flush = [&](bool is_header) {
    if (have_text || is_header) {
      PopupEntry entry = MakeEntry(current, depth);
      entry.submenu = is_header;
      if (is_header) entry.separator = false;
      entries.push_back(std::move(entry));
    }
    current.clear();
    have_text = false;
  };
  for (char c : menu_text) {
    switch (c) {
      case '|':
        flush(false);
        break;
      case '{':
        flush(true);
        ++depth;
        break;
      case '}':
        flush(false);
        if (depth > 1) --depth;
        break;
      default:
        current += c;
        have_text = true;
    }
  }
  flush(false);
  int32_t line = 0;
  for (PopupEntry& entry : entries) {
    if (!entry.separator && !entry.submenu) entry.line = ++line;
  }
  return entries;
}

const PopupEntry* FindPopupLine(const std::vector<PopupEntry>& entries,
                                int32_t line) {
  for (const PopupEntry& entry : entries) {
    if (entry.line == line && line > 0) return &entry;
  }
  return nullptr;
}

}  // namespace zuna::window
