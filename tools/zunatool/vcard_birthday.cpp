#include "tools/zunatool/vcard_birthday.h"

#include <string>

#include "runtime/values/date_serial.h"

namespace zuna::tool {
namespace {

// Whether `text` has the shape of `pattern`, where 'D' is any digit and
// every other character stands for itself.
bool Fits(std::string_view text, std::string_view pattern) {
  if (text.size() != pattern.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool is_digit = text[i] >= '0' && text[i] <= '9';
    if (pattern[i] == 'D' ? !is_digit : text[i] != pattern[i]) return false;
  }
  return true;
}

// `text` without its '-' separators, so the extended and basic forms read
// alike.
std::string Digits(std::string_view text) {
  std::string digits;
  for (char c : text) {
    if (c != '-') digits += c;
  }
  return digits;
}

int Number(std::string_view digits) {
  int n = 0;
  for (char c : digits) n = n * 10 + (c - '0');
  return n;
}

// A month and day some year has (29 February included).
bool IsMonthDay(int month, int day) {
  return month >= 1 && month <= 12 && day >= 1 && day <= values::DaysInMonth(2000, month);
}

std::optional<VcardBirthday> NoYear(int month, int day) {
  if (!IsMonthDay(month, day)) return std::nullopt;
  return VcardBirthday{VcardBirthday::Kind::kNoYear, 0, month, day};
}

}  // namespace

std::optional<VcardBirthday> ReadBirthday(const VcardLine& line) {
  if (line.Param("VALUE") == "TEXT") {
    return VcardBirthday{VcardBirthday::Kind::kIncomplete, 0, 0, 0};
  }
  std::string_view value = line.value;
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  value = value.substr(0, value.find('T'));  // the time of day says nothing here

  if (Fits(value, "---DD")) {
    const int day = Number(value.substr(3));
    if (day < 1 || day > 31) return std::nullopt;
    return VcardBirthday{VcardBirthday::Kind::kNoYear, 0, 0, day};
  }
  if (Fits(value, "--DDDD") || Fits(value, "--DD-DD")) {
    const std::string digits = Digits(value);
    return NoYear(Number(digits.substr(0, 2)), Number(digits.substr(2)));
  }
  if (Fits(value, "DDDD") || Fits(value, "DDDD-DD")) {
    return VcardBirthday{VcardBirthday::Kind::kIncomplete, 0, 0, 0};
  }
  if (!Fits(value, "DDDD-DD-DD") && !Fits(value, "DDDDDDDD")) return std::nullopt;
  const std::string digits = Digits(value);
  const int year = Number(digits.substr(0, 4));
  const int month = Number(digits.substr(4, 2));
  const int day = Number(digits.substr(6));
  const auto omitted = line.Param("X-APPLE-OMIT-YEAR");
  if (omitted && *omitted == digits.substr(0, 4)) return NoYear(month, day);
  if (month < 1 || month > 12 || day < 1 || day > values::DaysInMonth(year, month)) {
    return std::nullopt;
  }
  return VcardBirthday{VcardBirthday::Kind::kFull, year, month, day};
}

}  // namespace zuna::tool
