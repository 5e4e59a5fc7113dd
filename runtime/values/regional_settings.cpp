// Regional settings: read from the C library's LC_TIME data, mapped to the
// Windows-style patterns the locale pictures are built from, and the four
// locale pictures themselves (date 17/18, time 7/8).

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <optional>
#include <utility>

#include "runtime/values/code_page.h"
#include "runtime/values/locale.h"

namespace zuna::values {
namespace {

// A picture's token count is an 8-bit field.
constexpr size_t kMaxTokens = 255;

constexpr char kDefaultDateSeparator = '/';
constexpr char kDefaultTimeSeparator = ':';

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// ---------------------------------------------------------------------------
// strftime formats (D_FMT, T_FMT) to Windows-style patterns.

// One strftime conversion: "%[flag][E|O]letter".
struct Conversion {
  char flag = 0;  // one of "-_0^#", or 0
  char letter = 0;
  size_t length = 0;  // characters of the format it used
};

std::optional<Conversion> ReadConversion(std::string_view fmt, size_t at) {
  Conversion c;
  size_t i = at + 1;
  if (i < fmt.size() && std::string_view("-_0^#").find(fmt[i]) != fmt.npos) {
    c.flag = fmt[i++];
  }
  if (i < fmt.size() && (fmt[i] == 'E' || fmt[i] == 'O')) ++i;
  if (i >= fmt.size()) return std::nullopt;
  c.letter = fmt[i];
  c.length = i + 1 - at;
  return c;
}

bool UnpaddedFlag(char flag) { return flag == '-' || flag == '_'; }

// The pattern letters for one date conversion, or nullopt for a conversion
// that has no place in a date pattern (weekday names, week numbers, ...).
std::optional<std::string> DatePatternOf(const Conversion& c) {
  switch (c.letter) {
    case 'd':
      return UnpaddedFlag(c.flag) ? "d" : "dd";
    case 'e':
      return c.flag == '0' ? "dd" : "d";
    case 'm':
      return UnpaddedFlag(c.flag) ? "M" : "MM";
    case 'y':
      return "yy";
    case 'Y':
      return "yyyy";
    case 'b':
    case 'h':
      return "MMM";
    case 'B':
      return "MMMM";
    case 'D':
      return "MM/dd/yy";
    case 'F':
      return "yyyy-MM-dd";
    case '%':
      return "%";
    default:
      return std::nullopt;
  }
}

// Pattern text under construction.  Literal letters of the format must be
// quoted, or the pattern would read them as fields; a run of them shares one
// pair of quotes, since '' inside quotes stands for a quote character.
class PatternWriter {
 public:
  void Literal(char c) {
    if (c == '\'') {
      Close();
      text_ += "''";
    } else if (IsAsciiLetter(c)) {
      if (!quoted_) text_ += '\'';
      quoted_ = true;
      text_ += c;
    } else {
      Close();
      text_ += c;
    }
  }
  void Field(std::string_view letters) {
    Close();
    text_ += letters;
  }
  std::string Finish() {
    Close();
    return std::move(text_);
  }

 private:
  void Close() {
    if (quoted_) text_ += '\'';
    quoted_ = false;
  }
  std::string text_;
  bool quoted_ = false;
};

std::optional<std::string> MapDateFormat(std::string_view fmt) {
  PatternWriter writer;
  bool day = false, month = false, year = false;
  for (size_t i = 0; i < fmt.size();) {
    if (fmt[i] != '%') {
      writer.Literal(fmt[i++]);
      continue;
    }
    const auto conversion = ReadConversion(fmt, i);
    if (!conversion) return std::nullopt;
    const auto letters = DatePatternOf(*conversion);
    if (!letters) return std::nullopt;
    if (*letters == "%") {
      writer.Literal('%');
    } else {
      writer.Field(*letters);
    }
    day |= letters->find('d') != letters->npos;
    month |= letters->find('M') != letters->npos;
    year |= letters->find('y') != letters->npos;
    i += conversion->length;
  }
  if (!day || !month || !year) return std::nullopt;
  return writer.Finish();
}

// The first of d, M, y in a pattern, quoted text skipped.
char FirstFieldLetter(std::string_view pattern) {
  bool quoted = false;
  for (char c : pattern) {
    if (c == '\'') quoted = !quoted;
    if (!quoted && (c == 'd' || c == 'M' || c == 'y')) return c;
  }
  return 0;
}

// glibc keeps no long date format, so the long date follows the short one's
// field order, in the way Windows writes long dates for such locales.
std::optional<std::string> LongPatternFor(std::string_view short_pattern) {
  switch (FirstFieldLetter(short_pattern)) {
    case 'd':
      return "d MMMM yyyy";
    case 'y':
      return "yyyy MMMM d";
    default:
      return std::nullopt;  // month first: the default fits
  }
}

struct TimeFormat {
  int i_time;
  int i_tlzero;
  char separator;
};

std::optional<TimeFormat> MapTimeFormat(std::string_view fmt) {
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%') continue;
    const auto c = ReadConversion(fmt, i);
    if (!c) return std::nullopt;
    switch (c->letter) {
      case 'T':
      case 'R':
        return TimeFormat{1, 1, ':'};
      case 'r':
        return TimeFormat{0, 1, ':'};
      case 'H':
      case 'I':
      case 'k':
      case 'l':
        break;
      default:
        i += c->length - 1;
        continue;
    }
    const bool padded_by_default = c->letter == 'H' || c->letter == 'I';
    const bool zero =
        padded_by_default ? !UnpaddedFlag(c->flag) : c->flag == '0';
    const size_t after = i + c->length;
    char separator = kDefaultTimeSeparator;
    if (after < fmt.size() && fmt[after] != '%' && !IsAsciiLetter(fmt[after]) &&
        !(fmt[after] >= '0' && fmt[after] <= '9')) {
      separator = fmt[after];
    }
    const bool is_24_hour = c->letter == 'H' || c->letter == 'k';
    return TimeFormat{is_24_hour ? 1 : 0, zero ? 1 : 0, separator};
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Reading the C library's settings.

// The locale name LC_TIME takes from the environment, as newlocale(3) will
// resolve it.
std::string_view EnvironmentTimeLocaleName() {
  for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

bool IsPortableLocale(std::string_view name) {
  return name == "C" || name == "POSIX" || StartsWith(name, "C.") ||
         StartsWith(name, "POSIX.");
}

// A langinfo text in 1251, or "" when it cannot be represented (the caller
// then keeps the default).
std::string ToRuntimeText(const char* text, std::string_view codeset) {
  if (text == nullptr) return {};
  const std::string_view s(text);
  if (codeset == "UTF-8" || codeset == "utf8") {
    return IsRepresentableInCp1251(s) ? Utf8ToCp1251(s) : std::string();
  }
  if (codeset == "CP1251") return std::string(s);
  for (char c : s) {
    if (static_cast<uint8_t>(c) >= 0x80) return {};
  }
  return std::string(s);
}

// ---------------------------------------------------------------------------
// Locale pictures.

// One piece of a Windows date pattern: a run of one field letter, or a
// literal character (from quotes or standing alone).
struct PatternItem {
  char letter = 0;  // 0 for a literal
  size_t count = 0;
  char literal = 0;
};

std::vector<PatternItem> ScanPattern(std::string_view p) {
  std::vector<PatternItem> items;
  size_t i = 0;
  while (i < p.size()) {
    const char c = p[i];
    if (c == '\'') {
      ++i;
      if (i < p.size() && p[i] == '\'') {  // '' outside quotes: a quote
        items.push_back({0, 0, '\''});
        ++i;
        continue;
      }
      while (i < p.size()) {
        if (p[i] == '\'') {
          if (i + 1 < p.size() && p[i + 1] == '\'') {
            items.push_back({0, 0, '\''});
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        items.push_back({0, 0, p[i++]});
      }
    } else if (IsAsciiLetter(c)) {
      size_t run = 0;
      while (i < p.size() && p[i] == c) ++run, ++i;
      items.push_back({c, run, 0});
    } else {
      items.push_back({0, 0, c});
      ++i;
    }
  }
  return items;
}

void AddDigits(std::vector<PictureToken>& tokens, TokenKind kind, size_t count,
               bool first_zero_filled) {
  for (size_t i = 0; i < count; ++i) {
    const bool zero = i > 0 || first_zero_filled;
    tokens.push_back({zero ? '0' : ' ', kind});
  }
}

void AddMonthLetters(LocalePicture& picture, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    picture.tokens.push_back({' ', TokenKind::kMonthLetter});
  }
  picture.has_month_letters = true;
}

const PatternItem* FirstRun(const std::vector<PatternItem>& items,
                            char letter) {
  for (const PatternItem& item : items) {
    if (item.letter == letter) return &item;
  }
  return nullptr;
}

char ShortDateSeparator(const std::vector<PatternItem>& items) {
  for (size_t i = 0; i + 1 < items.size(); ++i) {
    if (items[i].letter != 'M') continue;
    const PatternItem& next = items[i + 1];
    return next.letter == 0 && !IsAsciiLetter(next.literal)
               ? next.literal
               : kDefaultDateSeparator;
  }
  return kDefaultDateSeparator;
}

// The field order of a short date: its first letter decides.
enum class DateOrder { kDayMonthYear, kMonthDayYear, kYearMonthDay };

DateOrder ShortDateOrder(const std::vector<PatternItem>& items) {
  for (const PatternItem& item : items) {
    if (item.letter == 0) continue;
    if (item.letter == 'd') return DateOrder::kDayMonthYear;
    if (item.letter == 'y') return DateOrder::kYearMonthDay;
    return DateOrder::kMonthDayYear;
  }
  return DateOrder::kMonthDayYear;
}

// ---- Long date -------------------------------------------------------------

bool IsDateField(const PatternItem& item) {
  return (item.letter == 'd' && item.count <= 2) || item.letter == 'M' ||
         item.letter == 'y';
}

// Drops the parts a date picture cannot show (weekday names and any other
// field letters) together with the text that joined them to the rest: the
// text after them, or, for a trailing one, the text before.
std::vector<PatternItem> WithoutUnshownFields(std::vector<PatternItem> items) {
  std::vector<bool> drop(items.size(), false);
  for (size_t k = 0; k < items.size(); ++k) {
    if (items[k].letter == 0 || IsDateField(items[k])) continue;
    drop[k] = true;
    size_t j = k + 1;
    for (; j < items.size() && items[j].letter == 0; ++j) drop[j] = true;
    if (j < items.size()) continue;
    for (size_t b = k; b > 0 && items[b - 1].letter == 0; --b)
      drop[b - 1] = true;
  }
  std::vector<PatternItem> kept;
  for (size_t k = 0; k < items.size(); ++k) {
    if (!drop[k]) kept.push_back(items[k]);
  }
  return kept;
}

void AddLongDateField(LocalePicture& picture, const PatternItem& item) {
  switch (item.letter) {
    case 'd':
      AddDigits(picture.tokens, TokenKind::kDayDigit, 2, item.count >= 2);
      break;
    case 'M':
      if (item.count >= 4) {
        AddMonthLetters(picture, 12);
      } else if (item.count == 3) {
        AddMonthLetters(picture, 3);
      } else {
        AddDigits(picture.tokens, TokenKind::kMonthDigit, 2, item.count >= 2);
      }
      break;
    default:  // 'y'
      AddDigits(picture.tokens, TokenKind::kYearDigit, item.count >= 3 ? 4 : 2,
                true);
  }
}

// Text between fields: blanks and letters print as they are; punctuation
// becomes a separator, which the picture's separator option may replace
// (as the comma of date picture 4 does).
PictureToken LongDateLiteral(char c) {
  const bool plain = c == ' ' || IsAsciiLetter(c) || (c >= '0' && c <= '9') ||
                     static_cast<uint8_t>(c) >= 0x80;
  return {c, plain ? TokenKind::kLiteral : TokenKind::kSeparator};
}

void CapTokens(LocalePicture& picture) {
  if (picture.tokens.size() <= kMaxTokens) return;
  picture.tokens.resize(kMaxTokens);
  picture.has_month_letters = false;
  for (const PictureToken& token : picture.tokens) {
    if (token.kind == TokenKind::kMonthLetter) picture.has_month_letters = true;
  }
}

// ---- Time ----------------------------------------------------------------

void AddTimeTail(LocalePicture& picture, const RegionalSettings& regional) {
  if (regional.i_time != 0) return;
  picture.tokens.push_back({' ', TokenKind::kLiteral});
  picture.tokens.push_back({' ', TokenKind::kAmPm});
  picture.tokens.push_back({'M', TokenKind::kLiteral});
}

LocalePicture TimePicture(const RegionalSettings& regional, bool seconds) {
  const char separator =
      regional.s_time.empty() ? kDefaultTimeSeparator : regional.s_time[0];
  LocalePicture picture;
  auto& tokens = picture.tokens;
  AddDigits(tokens, TokenKind::kHourDigit, 2, regional.i_tlzero == 1);
  tokens.push_back({separator, TokenKind::kSeparator});
  AddDigits(tokens, TokenKind::kMinuteDigit, 2, true);
  if (seconds) {
    tokens.push_back({separator, TokenKind::kSeparator});
    AddDigits(tokens, TokenKind::kSecondDigit, 2, true);
  }
  AddTimeTail(picture, regional);
  return picture;
}

}  // namespace

RegionalSettings RegionalSettingsFromLangInfo(std::string_view t_fmt,
                                              std::string_view d_fmt,
                                              std::string_view am_str,
                                              std::string_view pm_str) {
  RegionalSettings r;
  if (const auto time = MapTimeFormat(t_fmt)) {
    r.i_time = time->i_time;
    r.i_tlzero = time->i_tlzero;
    r.s_time = std::string(1, time->separator);
  }
  if (const auto pattern = MapDateFormat(d_fmt)) {
    r.s_short_date = *pattern;
    if (const auto long_pattern = LongPatternFor(*pattern)) {
      r.s_long_date = *long_pattern;
    }
  }
  if (!am_str.empty()) r.s1159 = std::string(am_str);
  if (!pm_str.empty()) r.s2359 = std::string(pm_str);
  return r;
}

RegionalSettings ReadRegionalSettings() {
  // A portable locale carries no regional preferences; keeping the defaults
  // there also keeps test machines, which rarely have other locales,
  // deterministic.
  if (IsPortableLocale(EnvironmentTimeLocaleName())) return {};
  // newlocale, not setlocale: the process-wide locale belongs to whoever
  // else runs in this process.  LC_CTYPE is taken from the same name as
  // LC_TIME because CODESET, the encoding of the LC_TIME texts, belongs to
  // LC_CTYPE.
  const std::string name(EnvironmentTimeLocaleName());
  const locale_t loc =
      newlocale(LC_CTYPE_MASK | LC_TIME_MASK, name.c_str(), locale_t{});
  if (loc == locale_t{}) return {};
  const std::string codeset = nl_langinfo_l(CODESET, loc);
  const auto text = [&](nl_item item) {
    return ToRuntimeText(nl_langinfo_l(item, loc), codeset);
  };
  const RegionalSettings settings = RegionalSettingsFromLangInfo(
      text(T_FMT), text(D_FMT), text(AM_STR), text(PM_STR));
  freelocale(loc);
  return settings;
}

LocalePicture ShortDatePicture(const RegionalSettings& regional) {
  const std::vector<PatternItem> items = ScanPattern(regional.s_short_date);
  const DateOrder order = ShortDateOrder(items);
  const bool year_first = order == DateOrder::kYearMonthDay;
  const PatternItem* d = FirstRun(items, 'd');
  const PatternItem* m = FirstRun(items, 'M');
  const PatternItem* y = FirstRun(items, 'y');
  const bool day_zero = year_first || d == nullptr || d->count != 1;
  const bool month_zero = year_first || m == nullptr || m->count != 1;
  const size_t year_digits = (y != nullptr && y->count >= 4) ? 4 : 2;
  const char separator = ShortDateSeparator(items);

  LocalePicture picture;
  const auto add_day = [&] {
    AddDigits(picture.tokens, TokenKind::kDayDigit, 2, day_zero);
  };
  const auto add_month = [&] {
    if (m != nullptr && m->count >= 3) {
      AddMonthLetters(picture, 3);
    } else {
      AddDigits(picture.tokens, TokenKind::kMonthDigit, 2, month_zero);
    }
  };
  const auto add_year = [&] {
    AddDigits(picture.tokens, TokenKind::kYearDigit, year_digits, true);
  };
  const auto add_separator = [&] {
    picture.tokens.push_back({separator, TokenKind::kSeparator});
  };
  switch (order) {
    case DateOrder::kDayMonthYear:
      add_day(), add_separator(), add_month(), add_separator(), add_year();
      break;
    case DateOrder::kYearMonthDay:
      add_year(), add_separator(), add_month(), add_separator(), add_day();
      break;
    case DateOrder::kMonthDayYear:
      add_month(), add_separator(), add_day(), add_separator(), add_year();
      break;
  }
  return picture;
}

LocalePicture LongDatePicture(const RegionalSettings& regional) {
  const std::vector<PatternItem> items =
      WithoutUnshownFields(ScanPattern(regional.s_long_date));
  LocalePicture picture;
  bool any_field = false;
  for (const PatternItem& item : items) {
    if (item.letter == 0) {
      picture.tokens.push_back(LongDateLiteral(item.literal));
    } else {
      AddLongDateField(picture, item);
      any_field = true;
    }
  }
  if (!any_field) {
    // A pattern with nothing a date picture can show (only a weekday, say)
    // would give a picture that prints no date at all.
    const RegionalSettings defaults;
    return LongDatePicture(defaults);
  }
  CapTokens(picture);
  return picture;
}

LocalePicture ShortTimePicture(const RegionalSettings& regional) {
  return TimePicture(regional, false);
}

LocalePicture LongTimePicture(const RegionalSettings& regional) {
  return TimePicture(regional, true);
}

}  // namespace zuna::values
