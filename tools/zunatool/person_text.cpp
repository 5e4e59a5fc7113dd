#include "tools/zunatool/person_text.h"

#include <algorithm>
#include <array>

#include "app/zun_dictionary.h"
#include "runtime/values/code_page.h"
#include "runtime/values/date_serial.h"

namespace zuna::tool {
namespace {

// The number of '?' in `text`: conversions put one where a character has no
// form, so more of them after a conversion than before means a loss.
size_t CountNoForm(std::string_view text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), values::kNoFormChar));
}

}  // namespace

std::optional<std::string> CheckName(std::string_view utf8, std::string* fio) {
  std::string text = values::Utf8ToCp1251(utf8);
  const size_t question_marks = CountNoForm(utf8);
  if (CountNoForm(text) != question_marks) {
    return "в имени «" + std::string(utf8) +
           "» есть знак, который реестр не может хранить (его нет в кодовой "
           "странице 1251, или текст не в UTF-8)";
  }
  if (CountNoForm(values::Utf8ToCp866(utf8)) != question_marks) {
    return "в имени «" + std::string(utf8) +
           "» есть знак, который реестр не может хранить (его нет в кодовой "
           "странице 866, в которой ZUN хранит текст)";
  }
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      return "в имени «" + std::string(utf8) + "» есть управляющий символ";
    }
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (text.empty()) return std::string("имя не задано");
  if (text.size() > app::kZunFioSize) {
    return "имя «" + std::string(utf8) + "» длиннее " +
           std::to_string(app::kZunFioSize) + " знаков";
  }
  *fio = std::move(text);
  return std::nullopt;
}

// DEFORMAT with @D6 would roll 31/02 over into March, so the fields are
// checked against the calendar here instead.
std::optional<std::string> CheckDate(std::string_view text, int32_t* serial) {
  auto bad = [text] { return "дата «" + std::string(text) + "»"; };
  int fields[3] = {0, 0, 0};
  const size_t min_digits[3] = {1, 1, 4};
  const size_t max_digits[3] = {2, 2, 4};
  size_t pos = 0;
  for (int f = 0; f < 3; ++f) {
    size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' &&
           digits < max_digits[f]) {
      fields[f] = fields[f] * 10 + (text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits < min_digits[f]) return bad() + " не в виде ДД/ММ/ГГГГ";
    if (f < 2) {
      if (pos == text.size() || text[pos] != '/') return bad() + " не в виде ДД/ММ/ГГГГ";
      ++pos;
    }
  }
  if (pos != text.size()) return bad() + " не в виде ДД/ММ/ГГГГ";
  const int32_t result = values::SerialFromCivil(fields[2], fields[1], fields[0]);
  if (result <= 0) return bad() + " не существует в календаре (годы 1801-9999)";
  *serial = result;
  return std::nullopt;
}

namespace {

// A valid date serial as "dd/mm/yyyy": the text of @D06, written digit
// by digit.  Every list and export line has one, and the picture walk cost
// as much as reading the record; person_text_test holds ListDate and
// CsvDate to FormatDate for every date there is.
std::array<char, 10> DateDigits(int32_t serial) {
  // "00" "01" ... "99".
  static constexpr auto kTwoDigits = [] {
    std::array<char, 200> table{};
    for (int i = 0; i < 100; ++i) {
      table[2 * i] = static_cast<char>('0' + i / 10);
      table[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return table;
  }();
  const values::CivilDate date = values::CivilFromSerial(serial);
  std::array<char, 10> text;
  auto two = [&](size_t at, int value) {
    text[at] = kTwoDigits[2 * value];
    text[at + 1] = kTwoDigits[2 * value + 1];
  };
  two(0, date.day);
  text[2] = '/';
  two(3, date.month);
  text[5] = '/';
  two(6, date.year / 100);
  two(8, date.year % 100);
  return text;
}

// DateDigits through the texts made so far.  A register's people share
// their birth dates many times over (some 30,000 days for 200,000
// people), and a date's text cost more than the rest of its line.  Slot
// serial % 65536: every day of 179 consecutive years has a slot of its
// own.  Zeroed until used (serial 0 is no date), so only the slots of the
// days met take memory.  zunatool is one thread.
const std::array<char, 10>& DateText(int32_t serial) {
  struct Slot {
    int32_t serial;
    std::array<char, 10> text;
  };
  static Slot slots[1 << 16];
  Slot& slot = slots[static_cast<uint32_t>(serial) & 0xFFFF];
  if (slot.serial != serial) slot = {serial, DateDigits(serial)};
  return slot.text;
}

}  // namespace

std::string ListDate(int32_t serial) {
  if (!values::IsValidDateSerial(serial)) return std::string();
  // @D6 leaves the day's leading zero out.
  const std::array<char, 10>& text = DateText(serial);
  const size_t from = text[0] == '0' ? 1 : 0;
  return std::string(text.data() + from, text.size() - from);
}

std::string CsvDate(int32_t serial) {
  if (!values::IsValidDateSerial(serial)) return std::string();
  const std::array<char, 10>& text = DateText(serial);
  return std::string(text.data(), text.size());
}

}  // namespace zuna::tool
