#include "runtime/values/builtins.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>
#include <random>

#include "runtime/values/clock.h"
#include "runtime/values/conversion.h"
#include "runtime/values/date_serial.h"
#include "runtime/values/error_state.h"
#include "runtime/values/expr_eval.h"
#include "runtime/values/expr_node.h"
#include "runtime/values/format.h"
#include "runtime/values/locale.h"
#include "runtime/values/profile_reader.h"
#include "runtime/values/program_files.h"
#include "runtime/values/runtime_messages.h"
#include "runtime/values/text_match.h"

namespace zuna::values {
namespace {

constexpr ExprType kL = ExprType::kLong;
constexpr ExprType kR = ExprType::kReal;
constexpr ExprType kS = ExprType::kString;

// Sorted by name.
constexpr std::array kBuiltins = std::to_array<BuiltinInfo>({
    {"ABS", 1, 1, kR, Builtin::kAbs},
    {"ACOS", 1, 1, kR, Builtin::kAcos},
    {"AGE", 1, 2, kS, Builtin::kAge},
    {"ALL", 1, 2, kS, Builtin::kAll},
    {"ASIN", 1, 1, kR, Builtin::kAsin},
    {"ATAN", 1, 1, kR, Builtin::kAtan},
    {"BAND", 2, 2, kL, Builtin::kBand},
    {"BOR", 2, 2, kL, Builtin::kBor},
    {"BSHIFT", 2, 2, kL, Builtin::kBshift},
    {"BXOR", 2, 2, kL, Builtin::kBxor},
    {"CENTER", 1, 2, kS, Builtin::kCenter},
    {"CHOOSE", 1, 25, kS, Builtin::kChoose},
    {"CHR", 1, 1, kS, Builtin::kChr},
    {"CLIP", 1, 1, kS, Builtin::kClip},
    {"CLOCK", 0, 0, kL, Builtin::kClock},
    {"COS", 1, 1, kR, Builtin::kCos},
    {"DATE", 3, 3, kL, Builtin::kDate},
    {"DAY", 1, 1, kL, Builtin::kDay},
    {"DEFORMAT", 1, 2, kS, Builtin::kDeformat},
    {"FORMAT", 2, 2, kS, Builtin::kFormat},
    {"GETINI", 2, 4, kS, Builtin::kGetini},
    {"INLIST", 3, 26, kL, Builtin::kInlist},
    {"INRANGE", 3, 3, kL, Builtin::kInrange},
    {"INSTRING", 2, 4, kL, Builtin::kInstring},
    {"INT", 1, 1, kL, Builtin::kInt},
    {"LEFT", 1, 2, kS, Builtin::kLeft},
    {"LEN", 1, 1, kL, Builtin::kLen},
    {"LOG10", 1, 1, kR, Builtin::kLog10},
    {"LOGE", 1, 1, kR, Builtin::kLoge},
    {"LONGPATH", 0, 1, kS, Builtin::kLongpath},
    {"LOWER", 1, 1, kS, Builtin::kLower},
    {"MATCH", 2, 3, kL, Builtin::kMatch},
    {"MEMORY", 1, 1, kL, Builtin::kMemory},
    {"MONTH", 1, 1, kL, Builtin::kMonth},
    {"NULL", 1, 1, kL, Builtin::kNull},
    {"NUMERIC", 1, 1, kL, Builtin::kNumeric},
    {"PATH", 0, 1, kS, Builtin::kPath},
    {"QUOTE", 2, 2, kS, Builtin::kQuote},
    {"RANDOM", 2, 2, kL, Builtin::kRandom},
    {"RIGHT", 1, 2, kS, Builtin::kRight},
    {"ROUND", 2, 2, kR, Builtin::kRound},
    {"SHORTPATH", 0, 1, kS, Builtin::kShortpath},
    {"SIN", 1, 1, kR, Builtin::kSin},
    {"SQL", 0, 0, kS, Builtin::kSql},
    {"SQRT", 1, 1, kR, Builtin::kSqrt},
    {"STRPOS", 2, 3, kL, Builtin::kStrpos},
    {"SUB", 3, 3, kS, Builtin::kSub},
    {"TAN", 1, 1, kR, Builtin::kTan},
    {"TODAY", 0, 0, kL, Builtin::kToday},
    {"UNQUOTE", 1, 1, kS, Builtin::kUnquote},
    {"UPPER", 1, 1, kS, Builtin::kUpper},
    {"VAL", 1, 1, kL, Builtin::kVal},
    {"YEAR", 1, 1, kL, Builtin::kYear},
});

constexpr int32_t kMatchNoCase = 0x10;

// The process's locale tables never change once loaded; holding the
// reference spares FORMAT and DEFORMAT the once-flag of Locale() on every
// record.
const LocaleTables& Tables() {
  static const LocaleTables& tables = Locale();
  return tables;
}

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool NameIs(std::string_view name, std::string_view builtin) {
  if (name.size() != builtin.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (AsciiUpper(name[i]) != builtin[i]) return false;
  }
  return true;
}

// The arguments of one call, evaluated on demand in the type asked for; an
// omitted or absent argument gives the default.
class Args {
 public:
  explicit Args(const CallNode& call) : call_(call) {}

  const CallNode& call() const { return call_; }
  bool Given(size_t i) const { return call_.argument(i) != nullptr; }
  size_t count() const { return call_.arguments.size(); }

  int32_t Long(size_t i, int32_t fallback = 0) const {
    const Node* node = call_.argument(i);
    return node ? EvalLong(*node) : fallback;
  }
  double Real(size_t i, double fallback = 0.0) const {
    const Node* node = call_.argument(i);
    return node ? EvalReal(*node) : fallback;
  }
  bool Bool(size_t i) const {
    const Node* node = call_.argument(i);
    return node ? EvalBool(*node) : false;
  }
  std::string String(size_t i, std::string_view fallback = {}) const {
    const Node* node = call_.argument(i);
    return node ? EvalString(*node) : std::string(fallback);
  }

 private:
  const CallNode& call_;
};

size_t ClampLength(int64_t length) {
  return static_cast<size_t>(std::clamp<int64_t>(length, 0, kMaxBuiltinLength));
}

std::string_view TrimLeft(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view()
                                         : text.substr(first);
}

std::string_view TrimRight(std::string_view text) {
  const size_t last = text.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view()
                                        : text.substr(0, last + 1);
}

// Maths with a domain: outside it the result is 0 rather than NaN.
Value Maths(double (*function)(double), double x) {
  return Value::Real(NanToZero(function(x)));
}

Value Sub(const Args& args) {
  std::string text = args.String(0);
  int64_t start = args.Long(1);
  const int64_t length = args.Long(2);
  const int64_t size = static_cast<int64_t>(text.size());
  if (start < 0) start = size + start + 1;
  const int64_t first = std::max<int64_t>(start, 1);
  const int64_t last = std::min<int64_t>(start + length - 1, size);
  if (length <= 0 || first > last) return Value::String({});
  text.resize(static_cast<size_t>(last));
  text.erase(0, static_cast<size_t>(first - 1));
  return Value::String(std::move(text));
}

Value All(const Args& args) {
  const std::string unit = args.String(0);
  const size_t length = ClampLength(args.Given(1) ? args.Long(1) : 255);
  if (unit.empty()) return Value::String({});
  std::string text;
  text.reserve(length);
  while (text.size() < length) {
    text.append(unit, 0, std::min(unit.size(), length - text.size()));
  }
  return Value::String(std::move(text));
}

Value Justify(const Args& args) {
  const Builtin function = args.call().info.function;
  const std::string text = args.String(0);
  const size_t width = args.Given(1) ? ClampLength(args.Long(1)) : text.size();
  std::string_view core = text;
  if (function != Builtin::kRight) core = TrimLeft(core);
  if (function != Builtin::kLeft) core = TrimRight(core);
  if (core.size() >= width) {
    // Too long: RIGHT keeps the end of the text, the others its start.
    return Value::String(std::string(function == Builtin::kRight
                                         ? core.substr(core.size() - width)
                                         : core.substr(0, width)));
  }
  const size_t spare = width - core.size();
  const size_t before = function == Builtin::kLeft    ? 0
                        : function == Builtin::kRight ? spare
                                                      : spare / 2;
  std::string out(before, ' ');
  out.append(core);
  out.resize(width, ' ');
  return Value::String(std::move(out));
}

Value Instring(const Args& args) {
  const std::string sub = args.String(0);
  const std::string text = args.String(1);
  int64_t step = args.Given(2) ? args.Long(2) : 1;
  if (step == 0) step = 1;
  const int64_t sub_size = static_cast<int64_t>(sub.size());
  const int64_t last_fit = static_cast<int64_t>(text.size()) - sub_size + 1;
  if (sub.empty() || last_fit < 1) return Value::Long(0);
  int64_t position = args.Given(3) ? args.Long(3) : (step > 0 ? 1 : last_fit);
  const auto found_at = [&](int64_t p) {
    return text.compare(static_cast<size_t>(p - 1), sub.size(), sub) == 0;
  };
  if (step > 0) {
    // Skip the positions before the text in one stride, not one by one.
    if (position < 1) position += (1 - position + step - 1) / step * step;
    for (; position <= last_fit; position += step) {
      if (found_at(position)) {
        return Value::Long(static_cast<int32_t>((position - 1) / step + 1));
      }
    }
  } else {
    const int64_t down = -step;
    if (position > last_fit) {
      position -= (position - last_fit + down - 1) / down * down;
    }
    for (; position >= 1; position -= down) {
      if (found_at(position))
        return Value::Long(static_cast<int32_t>(position));
    }
  }
  return Value::Long(0);
}

Value Match(const Args& args) {
  const std::string text = args.String(0);
  const std::string pattern = args.String(1);
  const int32_t mode = args.Long(2);
  const bool no_case = (mode & kMatchNoCase) != 0;
  const std::string_view clipped_text = TrimRight(text);
  const std::string_view clipped_pattern = TrimRight(pattern);
  bool matched = false;
  switch (mode & 0x0F) {
    case 0:
      matched = WildcardMatch(clipped_text, clipped_pattern, no_case);
      break;
    case 1: {
      const std::optional<Regex> regex =
          Regex::Compile(clipped_pattern, no_case);
      matched = regex && regex->Search(clipped_text).has_value();
      break;
    }
    case 2: {
      const std::string a = Soundex(clipped_text);
      matched = !a.empty() && a == Soundex(clipped_pattern);
      break;
    }
    case 3:
      matched = no_case ? CompareStringsNoCase(text, pattern) == 0
                        : CompareStrings(text, pattern) == 0;
      break;
    default:
      break;
  }
  return Value::Long(matched ? 1 : 0);
}

Value Strpos(const Args& args) {
  const std::string text = args.String(0);
  const std::string pattern = args.String(1);
  const bool no_case = (args.Long(2) & kMatchNoCase) != 0;
  const std::optional<Regex> regex = Regex::Compile(pattern, no_case);
  if (!regex) return Value::Long(0);
  const std::optional<size_t> found = regex->Search(text);
  return Value::Long(found
                         ? static_cast<int32_t>(std::min<size_t>(
                               *found + 1, std::numeric_limits<int32_t>::max()))
                         : 0);
}

Value Inlist(const Args& args) {
  const std::string wanted = args.String(0);
  for (size_t i = 1; i < args.count(); ++i) {
    if (!args.Given(i)) continue;
    if (CompareStrings(wanted, args.String(i)) == 0) {
      return Value::Long(static_cast<int32_t>(i));
    }
  }
  return Value::Long(0);
}

Value Choose(const Args& args) {
  const int32_t choice = args.Long(0);
  const size_t values = args.count() - 1;
  if (values == 0) return Value::String(choice != 0 ? "1" : "0");
  const size_t index = (choice >= 1 && static_cast<size_t>(choice) <= values)
                           ? static_cast<size_t>(choice)
                           : values;
  return Value::String(args.String(index));
}

Value Quote(const Args& args) {
  const std::string text = args.String(0);
  const bool wrap = args.Bool(1);
  std::string out;
  if (wrap) out += '\'';
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  if (wrap) out += '\'';
  return Value::String(std::move(out));
}

Value Unquote(const Args& args) {
  const std::string text = args.String(0);
  std::string_view core = TrimRight(text);
  if (core.size() >= 2 && core.front() == '\'' && core.back() == '\'') {
    core = core.substr(1, core.size() - 2);
  }
  std::string out;
  for (size_t i = 0; i < core.size(); ++i) {
    out += core[i];
    if (core[i] == '\'' && i + 1 < core.size() && core[i + 1] == '\'') ++i;
  }
  return Value::String(std::move(out));
}

Value Round(const Args& args) {
  const double x = args.Real(0);
  const double step = std::fabs(args.Real(1));
  if (step == 0.0 || !std::isfinite(step) || !std::isfinite(x)) {
    return Value::Real(x);
  }
  // For steps such as 0.01 divide by the integer 1/step: 0.01 itself is not
  // exact in binary, and multiplying by it leaves 5.680000000000001.
  const double inverse = 1.0 / step;
  double rounded;
  if (step < 1.0 && std::fabs(inverse - std::round(inverse)) < 1e-9 * inverse) {
    const double whole = std::round(inverse);
    rounded = std::round(x * whole) / whole;
  } else {
    rounded = std::round(x / step) * step;
  }
  return Value::Real(std::isfinite(rounded) ? rounded : x);
}

Value Random(const Args& args) {
  int64_t low = args.Long(0);
  int64_t high = args.Long(1);
  if (low > high) std::swap(low, high);
  thread_local std::mt19937_64 generator = [] {
    std::seed_seq seed{
        static_cast<uint64_t>(
            std::chrono::steady_clock::now().time_since_epoch().count()),
        static_cast<uint64_t>(::getpid())};
    return std::mt19937_64(seed);
  }();
  std::uniform_int_distribution<int64_t> distribution(low, high);
  return Value::Long(static_cast<int32_t>(distribution(generator)));
}

Value Bshift(const Args& args) {
  const uint32_t value = static_cast<uint32_t>(args.Long(0));
  const int32_t places = args.Long(1);
  if (places >= 32 || places < -31) return Value::Long(0);
  const uint32_t shifted = places >= 0 ? value << places : value >> -places;
  return Value::Long(static_cast<int32_t>(shifted));
}

Value Memory(const Args& args) {
  const int32_t which = args.Long(0);
  long pages = -1;
  if (which == 0) pages = ::sysconf(_SC_PHYS_PAGES);
  if (which == 1) pages = ::sysconf(_SC_AVPHYS_PAGES);
  const long page_size = ::sysconf(_SC_PAGESIZE);
  if (pages < 0 || page_size <= 0) return Value::Long(0);
  const double kib =
      static_cast<double>(pages) * static_cast<double>(page_size) / 1024.0;
  return Value::Long(RealToLong(kib));
}

std::string PathText(const std::filesystem::path& path) {
  return path.lexically_normal().string();
}

Value PathFunction(const Args& args) {
  const Builtin function = args.call().info.function;
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  if (!args.Given(0))
    return Value::String(error ? std::string() : PathText(current));
  const std::string name = args.String(0);
  std::filesystem::path path(name);
  if (path.is_relative()) path = current / path;
  if (function == Builtin::kPath) path = path.parent_path();
  return Value::String(PathText(path));
}

Value Getini(const Args& args) {
  const std::string section = args.String(0);
  const std::string key = args.String(1);
  const std::string fallback = args.String(2);
  // A bare name is a file of the settings directory, as Zuna.INI is.
  const std::string file = SettingsFile(
      args.Given(3) ? args.String(3) : std::string(kDefaultProfileFile));
  std::optional<std::string> value = ReadProfileString(file, section, key);
  return Value::String(value ? std::move(*value) : fallback);
}

Value FormatCall(const Args& args) {
  const CallNode& call = args.call();
  Picture compiled;
  const Picture* picture = call.picture.get();
  if (picture == nullptr) {
    compiled = CompilePicture(args.String(1), Tables());
    picture = &compiled;
  }
  switch (picture->kind) {
    case PictureKind::kDate:
    case PictureKind::kTime:
    case PictureKind::kNumeric:
    case PictureKind::kScientific:
      return Value::String(FormatValue(args.Real(0), {}, *picture, Tables()));
    default:
      return Value::String(
          FormatValue(0.0, args.String(0), *picture, Tables()));
  }
}

Value DeformatCall(const Args& args) {
  const CallNode& call = args.call();
  const std::string text = args.String(0);
  if (!args.Given(1)) return Value::String(DeformatNumericText(text));
  Picture compiled;
  const Picture* picture = call.picture.get();
  if (picture == nullptr) {
    compiled = CompilePicture(args.String(1), Tables());
    picture = &compiled;
  }
  // Dates and times yield the serial as a LONG: its text is exactly the
  // digits Deformat would return, and the filter's arithmetic skips the
  // round trip through text.
  switch (picture->kind) {
    case PictureKind::kDate:
      return Value::Long(DeformatDate(text, *picture, Tables()));
    case PictureKind::kTime:
      return Value::Long(DeformatTime(text, *picture, Tables()));
    default:
      return Value::String(Deformat(text, *picture, Tables()));
  }
}

// Built-ins small enough to be written in one line each.
Value Abs(const Args& args) { return Value::Real(std::fabs(args.Real(0))); }
Value Int(const Args& args) { return Value::Long(RealToLong(args.Real(0))); }
Value Sqrt(const Args& args) {
  return Maths([](double x) { return std::sqrt(x); }, args.Real(0));
}
Value Loge(const Args& args) {
  const double x = args.Real(0);
  return Value::Real(x > 0 ? NanToZero(std::log(x)) : 0.0);
}
Value Log10(const Args& args) {
  const double x = args.Real(0);
  return Value::Real(x > 0 ? NanToZero(std::log10(x)) : 0.0);
}
Value Sin(const Args& args) {
  return Maths([](double x) { return std::sin(x); }, args.Real(0));
}
Value Cos(const Args& args) {
  return Maths([](double x) { return std::cos(x); }, args.Real(0));
}
Value Tan(const Args& args) {
  return Maths([](double x) { return std::tan(x); }, args.Real(0));
}
Value Asin(const Args& args) {
  return Maths([](double x) { return std::asin(x); }, args.Real(0));
}
Value Acos(const Args& args) {
  return Maths([](double x) { return std::acos(x); }, args.Real(0));
}
Value Atan(const Args& args) {
  return Maths([](double x) { return std::atan(x); }, args.Real(0));
}
Value Band(const Args& args) {
  const int32_t a = args.Long(0);
  return Value::Long(a & args.Long(1));
}
Value Bor(const Args& args) {
  const int32_t a = args.Long(0);
  return Value::Long(a | args.Long(1));
}
Value Bxor(const Args& args) {
  const int32_t a = args.Long(0);
  return Value::Long(a ^ args.Long(1));
}
Value Inrange(const Args& args) {
  const double x = args.Real(0);
  const double low = args.Real(1);
  const double high = args.Real(2);
  return Value::Long(RealRelation(low, x, Op::kLessEqual) &&
                     RealRelation(x, high, Op::kLessEqual));
}
Value Null(const Args& args) { return Value::Long(args.Long(0) == 0 ? 1 : 0); }
Value Numeric(const Args& args) {
  return Value::Long(IsNumericText(args.String(0)) ? 1 : 0);
}
Value Val(const Args& args) {
  const std::string text = args.String(0);
  return Value::Long(text.empty() ? 0 : static_cast<uint8_t>(text[0]));
}
Value Len(const Args& args) {
  return Value::Long(static_cast<int32_t>(std::min<size_t>(
      args.String(0).size(), std::numeric_limits<int32_t>::max())));
}
Value Today(const Args&) { return Value::Long(TODAY()); }
Value Clock(const Args&) { return Value::Long(CLOCK()); }
Value Date(const Args& args) {
  const int32_t month = args.Long(0);
  const int32_t day = args.Long(1);
  return Value::Long(DATE(month, day, args.Long(2)));
}
Value Day(const Args& args) { return Value::Long(DAY(args.Long(0))); }
Value Month(const Args& args) { return Value::Long(MONTH(args.Long(0))); }
Value Year(const Args& args) { return Value::Long(YEAR(args.Long(0))); }
Value Age(const Args& args) {
  const int32_t birth = args.Long(0);
  return Value::String(args.Given(1) ? AGE(birth, args.Long(1)) : AGE(birth));
}
Value Clip(const Args& args) {
  return Value::String(std::string(TrimRight(args.String(0))));
}
Value Upper(const Args& args) { return Value::String(ToUpper(args.String(0))); }
Value Lower(const Args& args) { return Value::String(ToLower(args.String(0))); }
Value Chr(const Args& args) {
  const int32_t code = args.Long(0);
  if (code < 0 || code > 255) return Value::String({});
  return Value::String(std::string(1, static_cast<char>(code)));
}
Value Sql(const Args&) { return Value::String({}); }

using Implementation = Value (*)(const Args&);

// By function number.  Each built-in is a function of its own, called
// through this table: one switch over them all would inline every body into
// a single frame of several kilobytes, and nested calls ("abs(abs(...))")
// would pay it once per level of nesting.
constexpr std::array<Implementation, 54> MakeImplementations() {
  std::array<Implementation, 54> table{};
  const auto set = [&](Builtin function, Implementation implementation) {
    table[static_cast<size_t>(function)] = implementation;
  };
  set(Builtin::kMemory, Memory);
  set(Builtin::kSub, Sub);
  set(Builtin::kInstring, Instring);
  set(Builtin::kClip, Clip);
  set(Builtin::kAll, All);
  set(Builtin::kCenter, Justify);
  set(Builtin::kChr, Chr);
  set(Builtin::kDeformat, DeformatCall);
  set(Builtin::kFormat, FormatCall);
  set(Builtin::kLeft, Justify);
  set(Builtin::kLen, Len);
  set(Builtin::kLower, Lower);
  set(Builtin::kNumeric, Numeric);
  set(Builtin::kRight, Justify);
  set(Builtin::kUpper, Upper);
  set(Builtin::kVal, Val);
  set(Builtin::kAbs, Abs);
  set(Builtin::kInrange, Inrange);
  set(Builtin::kInt, Int);
  set(Builtin::kLoge, Loge);
  set(Builtin::kLog10, Log10);
  set(Builtin::kRandom, Random);
  set(Builtin::kRound, Round);
  set(Builtin::kSqrt, Sqrt);
  set(Builtin::kSin, Sin);
  set(Builtin::kCos, Cos);
  set(Builtin::kTan, Tan);
  set(Builtin::kAsin, Asin);
  set(Builtin::kAcos, Acos);
  set(Builtin::kAtan, Atan);
  set(Builtin::kBand, Band);
  set(Builtin::kBor, Bor);
  set(Builtin::kBxor, Bxor);
  set(Builtin::kBshift, Bshift);
  set(Builtin::kToday, Today);
  set(Builtin::kClock, Clock);
  set(Builtin::kDate, Date);
  set(Builtin::kDay, Day);
  set(Builtin::kMonth, Month);
  set(Builtin::kYear, Year);
  set(Builtin::kAge, Age);
  set(Builtin::kChoose, Choose);
  set(Builtin::kInlist, Inlist);
  set(Builtin::kGetini, Getini);
  set(Builtin::kMatch, Match);
  set(Builtin::kNull, Null);
  set(Builtin::kSql, Sql);
  set(Builtin::kStrpos, Strpos);
  set(Builtin::kPath, PathFunction);
  set(Builtin::kLongpath, PathFunction);
  set(Builtin::kShortpath, PathFunction);
  set(Builtin::kQuote, Quote);
  set(Builtin::kUnquote, Unquote);
  return table;
}

constexpr std::array<Implementation, 54> kImplementations =
    MakeImplementations();
static_assert(
    [] {
      for (size_t i = 1; i < kImplementations.size(); ++i) {
        if (kImplementations[i] == nullptr) return false;
      }
      return true;
    }(),
    "every function number 1-53 needs its implementation");

Value OmittedResult(ExprType type) {
  return type == ExprType::kString ? Value::String({}) : Value::Long(0);
}

}  // namespace

const BuiltinInfo* FindBuiltin(std::string_view name) {
  for (const BuiltinInfo& info : kBuiltins) {
    if (NameIs(name, info.name)) return &info;
  }
  return nullptr;
}

Value CallBuiltin(const CallNode& call) {
  if (call.omits_mandatory) {
    PostError(ErrorCode::kOmittedParameter);
    return OmittedResult(call.type);
  }
  return kImplementations[static_cast<size_t>(call.info.function)](Args(call));
}

}  // namespace zuna::values
