#include "runtime/values/text_match.h"

#include <algorithm>
#include <utility>

#include "runtime/values/locale.h"

namespace zuna::values {
namespace {

uint8_t Byte(char c) { return static_cast<uint8_t>(c); }

bool SameChar(char a, char b, bool ignore_case) {
  if (a == b) return true;
  return ignore_case && ToUpper(a) == ToUpper(b);
}

// The parsed form of a regular expression, before it becomes a program.
struct ReNode {
  enum class Type : uint8_t {
    kEmpty,
    kChar,
    kAny,
    kSet,
    kBol,
    kEol,
    kConcat,
    kAlt,
    kStar,
    kPlus,
    kQuest
  };
  Type type = Type::kEmpty;
  uint8_t character = 0;
  int32_t set = 0;
  std::vector<ReNode> children;
};

}  // namespace

// Recursive descent over the pattern (its length is capped, so the
// recursion is too), then code generation for the automaton.
class RegexCompiler {
 public:
  RegexCompiler(std::string_view pattern, Regex& regex)
      : pattern_(pattern), regex_(regex) {}

  bool Compile() {
    ReNode root;
    if (!ParseAlternation(root) || pos_ != pattern_.size()) return false;
    Emit(root);
    Add({Regex::Kind::kMatch});
    return true;
  }

 private:
  using Type = ReNode::Type;

  bool ParseAlternation(ReNode& out) {
    ReNode first;
    if (!ParseConcatenation(first)) return false;
    if (pos_ >= pattern_.size() || pattern_[pos_] != '|') {
      out = std::move(first);
      return true;
    }
    out.type = Type::kAlt;
    out.children.push_back(std::move(first));
    while (pos_ < pattern_.size() && pattern_[pos_] == '|') {
      ++pos_;
      ReNode next;
      if (!ParseConcatenation(next)) return false;
      out.children.push_back(std::move(next));
    }
    return true;
  }

  bool ParseConcatenation(ReNode& out) {
    out.type = Type::kConcat;
    while (pos_ < pattern_.size() && pattern_[pos_] != '|' &&
           pattern_[pos_] != ')') {
      ReNode atom;
      if (!ParseRepetition(atom)) return false;
      out.children.push_back(std::move(atom));
    }
    return true;
  }

  bool ParseRepetition(ReNode& out) {
    if (!ParseAtom(out)) return false;
    while (pos_ < pattern_.size()) {
      const char c = pattern_[pos_];
      const Type type = c == '*'   ? Type::kStar
                        : c == '+' ? Type::kPlus
                        : c == '?' ? Type::kQuest
                                   : Type::kEmpty;
      if (type == Type::kEmpty) break;
      ++pos_;
      ReNode wrapped;
      wrapped.type = type;
      wrapped.children.push_back(std::move(out));
      out = std::move(wrapped);
    }
    return true;
  }

  bool ParseAtom(ReNode& out) {
    const char c = pattern_[pos_++];
    switch (c) {
      case '(':
        if (!ParseAlternation(out)) return false;
        if (pos_ >= pattern_.size() || pattern_[pos_] != ')') return false;
        ++pos_;
        return true;
      case '*':
      case '+':
      case '?':
        return false;  // nothing to repeat
      case '.':
        out.type = Type::kAny;
        return true;
      case '^':
        out.type = Type::kBol;
        return true;
      case '$':
        out.type = Type::kEol;
        return true;
      case '[':
        return ParseSet(out);
      case '\\':
        if (pos_ >= pattern_.size()) return false;
        out.type = Type::kChar;
        out.character = Byte(pattern_[pos_++]);
        return true;
      default:
        out.type = Type::kChar;
        out.character = Byte(c);
        return true;
    }
  }

  bool ParseSet(ReNode& out) {
    std::bitset<256> set;
    bool negate = false;
    if (pos_ < pattern_.size() && pattern_[pos_] == '^') {
      negate = true;
      ++pos_;
    }
    bool first = true;
    while (true) {
      if (pos_ >= pattern_.size()) return false;
      const uint8_t c = Byte(pattern_[pos_]);
      if (c == ']' && !first) break;
      first = false;
      ++pos_;
      uint8_t last = c;
      if (pos_ + 1 < pattern_.size() && pattern_[pos_] == '-' &&
          pattern_[pos_ + 1] != ']') {
        last = Byte(pattern_[pos_ + 1]);
        pos_ += 2;
      }
      for (int k = c; k <= last; ++k) set.set(static_cast<size_t>(k));
    }
    ++pos_;  // ']'
    if (regex_.ignore_case_) {
      std::bitset<256> folded = set;
      for (int k = 0; k < 256; ++k) {
        if (!set.test(static_cast<size_t>(k))) continue;
        const char ch = static_cast<char>(k);
        folded.set(Byte(ToUpper(ch)));
        folded.set(Byte(ToLower(ch)));
      }
      set = folded;
    }
    if (negate) set.flip();
    out.type = Type::kSet;
    out.set = static_cast<int32_t>(regex_.sets_.size());
    regex_.sets_.push_back(set);
    return true;
  }

  int32_t Add(Regex::Inst inst) {
    regex_.program_.push_back(inst);
    return static_cast<int32_t>(regex_.program_.size() - 1);
  }
  int32_t Here() const { return static_cast<int32_t>(regex_.program_.size()); }
  Regex::Inst& At(int32_t pc) {
    return regex_.program_[static_cast<size_t>(pc)];
  }

  void Emit(const ReNode& node) {
    using Kind = Regex::Kind;
    switch (node.type) {
      case Type::kEmpty:
        return;
      case Type::kChar:
        Add({Kind::kChar, node.character});
        return;
      case Type::kAny:
        Add({Kind::kAny});
        return;
      case Type::kSet:
        Add({Kind::kSet, 0, node.set});
        return;
      case Type::kBol:
        Add({Kind::kBol});
        return;
      case Type::kEol:
        Add({Kind::kEol});
        return;
      case Type::kConcat:
        for (const ReNode& child : node.children) Emit(child);
        return;
      case Type::kAlt: {
        std::vector<int32_t> jumps;
        for (size_t i = 0; i < node.children.size(); ++i) {
          const bool last = i + 1 == node.children.size();
          const int32_t split = last ? -1 : Add({Kind::kSplit});
          if (!last) At(split).x = Here();
          Emit(node.children[i]);
          if (!last) {
            jumps.push_back(Add({Kind::kJump}));
            At(split).y = Here();
          }
        }
        for (int32_t jump : jumps) At(jump).x = Here();
        return;
      }
      case Type::kStar: {
        const int32_t split = Add({Kind::kSplit});
        At(split).x = Here();
        Emit(node.children[0]);
        Add({Kind::kJump, 0, split});
        At(split).y = Here();
        return;
      }
      case Type::kPlus: {
        const int32_t start = Here();
        Emit(node.children[0]);
        const int32_t split = Add({Kind::kSplit, 0, start});
        At(split).y = Here();
        return;
      }
      case Type::kQuest: {
        const int32_t split = Add({Kind::kSplit});
        At(split).x = Here();
        Emit(node.children[0]);
        At(split).y = Here();
        return;
      }
    }
  }

  std::string_view pattern_;
  Regex& regex_;
  size_t pos_ = 0;
};

std::optional<Regex> Regex::Compile(std::string_view pattern,
                                    bool ignore_case) {
  if (pattern.size() > kMaxRegexPattern) return std::nullopt;
  Regex regex;
  regex.ignore_case_ = ignore_case;
  RegexCompiler compiler(pattern, regex);
  if (!compiler.Compile()) return std::nullopt;
  return regex;
}

bool Regex::Accepts(const Inst& inst, uint8_t c) const {
  switch (inst.kind) {
    case Kind::kAny:
      return true;
    case Kind::kChar:
      return SameChar(static_cast<char>(inst.character), static_cast<char>(c),
                      ignore_case_);
    case Kind::kSet:
      return sets_[static_cast<size_t>(inst.x)].test(c);
    default:
      return false;
  }
}

// A Thompson simulation in which every thread remembers where its match
// began.  Lists are kept in order of that start, so when two threads reach
// the same instruction the one kept (the first) has the earlier start; a
// thread that reaches kMatch bounds the answer and later starts are dropped.
std::optional<size_t> Regex::Search(std::string_view text) const {
  struct Thread {
    int32_t pc;
    size_t start;
  };
  const size_t none = text.size() + 1;
  size_t best = none;
  std::vector<Thread> current, next, stack;
  std::vector<size_t> mark(program_.size(), 0);
  size_t generation = 1;

  // Adds the thread and everything reachable from it without reading a
  // character (an explicit stack: no recursion on split chains).
  auto add = [&](std::vector<Thread>& list, Thread thread, size_t pos) {
    stack.clear();
    stack.push_back(thread);
    while (!stack.empty()) {
      const Thread t = stack.back();
      stack.pop_back();
      if (t.start >= best) continue;
      const size_t pc = static_cast<size_t>(t.pc);
      if (mark[pc] == generation) continue;
      mark[pc] = generation;
      const Inst& inst = program_[pc];
      switch (inst.kind) {
        case Kind::kJump:
          stack.push_back({inst.x, t.start});
          break;
        case Kind::kSplit:
          stack.push_back({inst.y, t.start});
          stack.push_back({inst.x, t.start});
          break;
        case Kind::kBol:
          if (pos == 0) stack.push_back({t.pc + 1, t.start});
          break;
        case Kind::kEol:
          if (pos == text.size()) stack.push_back({t.pc + 1, t.start});
          break;
        case Kind::kMatch:
          best = std::min(best, t.start);
          break;
        default:
          list.push_back(t);
          break;
      }
    }
  };

  // `current` holds the threads waiting to read text[pos], all added under
  // the present generation, so a new start thread added under the same
  // generation defers to them.
  for (size_t pos = 0;; ++pos) {
    if (best == none) add(current, {0, pos}, pos);
    if (pos == text.size() || (current.empty() && best != none)) break;
    ++generation;
    next.clear();
    const uint8_t c = Byte(text[pos]);
    for (const Thread& t : current) {
      if (t.start >= best) continue;
      if (Accepts(program_[static_cast<size_t>(t.pc)], c)) {
        add(next, {t.pc + 1, t.start}, pos + 1);
      }
    }
    std::swap(current, next);
  }
  if (best == none) return std::nullopt;
  return best;
}

bool WildcardMatch(std::string_view text, std::string_view pattern,
                   bool ignore_case) {
  size_t t = 0;
  size_t p = 0;
  size_t star = std::string_view::npos;
  size_t resume = 0;
  // Greedy with one backtracking point, the last '*': O(text x pattern).
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' ||
                SameChar(pattern[p], text[t], ignore_case))) {
      ++t;
      ++p;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string Soundex(std::string_view text) {
  // Codes for A..Z; '0' for vowels and Y (they separate equal codes), '-' for
  // H and W (they do not).
  static constexpr char kCodes[] = "01230120022455012623010202";
  static_assert(sizeof kCodes == 27);
  std::string code;
  char previous = 0;
  for (char c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') continue;
    const char digit = (c == 'H' || c == 'W') ? '-' : kCodes[c - 'A'];
    if (code.empty()) {
      code += c;
      previous = digit;
      continue;
    }
    if (digit == '-') continue;
    if (digit != '0' && digit != previous) code += digit;
    previous = digit;
    if (code.size() == 4) break;
  }
  if (!code.empty()) code.resize(4, '0');
  return code;
}

}  // namespace zuna::values
