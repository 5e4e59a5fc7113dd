// Commands over the runtime values: eval, format, deformat.

#include <charconv>
#include <cstdlib>
#include <deque>
#include <string>

#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "runtime/values/evaluator.h"
#include "runtime/values/format.h"
#include "runtime/values/picture.h"
#include "tools/zunatool/command.h"

namespace zuna::tool {
namespace {

constexpr std::string_view kEvalSynopsis =
    "eval [--bind NAME=TEXT]... [--bind-long NAME=N]... [--bind-real NAME=X]... "
    "EXPR";
constexpr std::string_view kFormatSynopsis = "format VALUE PICTURE";
constexpr std::string_view kDeformatSynopsis = "deformat TEXT PICTURE";

// The variables bound for one eval: deques keep every address stable while
// more are added.
struct Bindings {
  std::deque<std::string> strings;
  std::deque<int32_t> longs;
  std::deque<double> reals;
};

bool SplitAssignment(const std::string& argument, std::string& name,
                     std::string& value) {
  const size_t equals = argument.find('=');
  if (equals == std::string::npos || equals == 0) return false;
  name = values::Utf8ToCp1251(argument.substr(0, equals));
  value = argument.substr(equals + 1);
  return true;
}

bool ParseLong(const std::string& text, int32_t& out) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end;
}

bool ParseReal(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size();
}

// Binds one --bind* option; false when it is malformed.
bool BindOption(const std::string& option, const std::string& assignment,
                Bindings& bindings) {
  std::string name;
  std::string value;
  if (!SplitAssignment(assignment, name, value)) return false;
  if (option == "--bind") {
    // A STRING exactly as long as the text (at least one character), as a
    // program would declare it.
    std::string& text = bindings.strings.emplace_back(values::Utf8ToCp1251(value));
    if (text.empty()) text.push_back(' ');
    values::BIND(name, values::RefString(text.data(),
                                         static_cast<uint32_t>(text.size())));
    return true;
  }
  if (option == "--bind-long") {
    int32_t number;
    if (!ParseLong(value, number)) return false;
    values::BIND(name, values::RefLong(bindings.longs.emplace_back(number)));
    return true;
  }
  if (option == "--bind-real") {
    double number;
    if (!ParseReal(value, number)) return false;
    values::BIND(name, values::RefReal(bindings.reals.emplace_back(number)));
    return true;
  }
  return false;
}

int Eval(Arguments args) {
  Bindings bindings;
  size_t next = 0;
  while (next + 1 < args.size() && args[next].starts_with("--bind")) {
    if (!BindOption(args[next], args[next + 1], bindings)) {
      return ReportUsage(kEvalSynopsis);
    }
    next += 2;
  }
  if (next + 1 != args.size()) return ReportUsage(kEvalSynopsis);

  values::ClearError();
  const auto expression =
      values::Expression::Compile(values::Utf8ToCp1251(args[next]));
  if (!expression) return ReportRuntimeError();
  const std::string result = expression->EvaluateString();
  if (values::ERRORCODE() != 0) return ReportRuntimeError();
  PrintLine(result);
  return 0;
}

int Format(Arguments args) {
  if (args.size() != 2) return ReportUsage(kFormatSynopsis);
  const std::string value = values::Utf8ToCp1251(args[0]);
  const values::Picture picture =
      values::CompilePicture(values::Utf8ToCp1251(args[1]));
  // The value is read as a number for date, time and numeric pictures and
  // as text for the others, as FORMAT does in an expression.
  const double number = std::strtod(value.c_str(), nullptr);
  PrintLine(values::FormatValue(number, value, picture));
  return 0;
}

int Deformat(Arguments args) {
  if (args.size() != 2) return ReportUsage(kDeformatSynopsis);
  const values::Picture picture =
      values::CompilePicture(values::Utf8ToCp1251(args[1]));
  PrintLine(values::Deformat(values::Utf8ToCp1251(args[0]), picture));
  return 0;
}

}  // namespace

std::vector<Command> ValueCommands() {
  return {
      {"eval", kEvalSynopsis, Eval},
      {"format", kFormatSynopsis, Format},
      {"deformat", kDeformatSynopsis, Deformat},
  };
}

}  // namespace zuna::tool
