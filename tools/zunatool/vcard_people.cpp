#include "tools/zunatool/vcard_people.h"

#include <cctype>
#include <cstdio>

#include "runtime/values/code_page.h"
#include "runtime/values/date_serial.h"
#include "runtime/values/env_file.h"
#include "tools/zunatool/vcard_birthday.h"
#include "tools/zunatool/vcard_lines.h"

namespace zuna::tool {
namespace {

constexpr size_t kFoldOctets = 75;

// Runs of blanks, tabs and line feeds become one blank, none at the ends:
// a name's line breaks are no part of it in the register.
std::string Collapse(std::string_view text) {
  std::string result;
  bool blank = false;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      blank = !result.empty();
    } else {
      if (blank) result += ' ';
      blank = false;
      result += c;
    }
  }
  return result;
}

// The byte offsets at which the UTF-8 text's characters begin.
std::vector<size_t> CharacterStarts(std::string_view utf8) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) starts.push_back(i);
  }
  return starts;
}

// The name cut to the field at a word boundary; the name itself when it fits.
std::string CutToField(const std::string& name) {
  const std::vector<size_t> starts = CharacterStarts(name);
  if (starts.size() <= app::kZunFioSize) return name;
  size_t cut = starts[app::kZunFioSize];  // the first character that does not fit
  if (name[cut] != ' ') {
    const size_t space = name.rfind(' ', cut);
    if (space != std::string::npos && space > 0) cut = space;
  }
  std::string result = name.substr(0, cut);
  while (!result.empty() && result.back() == ' ') result.pop_back();
  return result;
}

// What a card has been seen to hold between BEGIN and END.
struct Card {
  int begin_line = 0;
  std::optional<VcardLine> fn;
  std::optional<VcardLine> n;
  std::optional<VcardLine> bday;
};

std::string CardName(const Card& card) {
  if (card.fn) {
    std::string name = Collapse(UnescapeText(card.fn->value));
    if (!name.empty()) return name;
  }
  if (!card.n) return std::string();
  const std::vector<std::string> parts = SplitComponents(card.n->value);
  std::string joined;
  for (size_t i = 0; i < parts.size() && i < 3; ++i) {  // family, given, additional
    joined += parts[i];
    joined += ' ';
  }
  return Collapse(joined);
}

std::string Where(int line_no) { return "строка " + std::to_string(line_no) + ": "; }

// Adds the card to *result or counts why not.  On failure (a BDAY that is
// no date) the reason.
std::optional<std::string> TakeCard(const Card& card, VcardPeople* result) {
  ++result->cards;
  if (!card.bday) {
    ++result->no_birthday;
    return std::nullopt;
  }
  const int line_no = card.bday->line_no;
  const std::optional<VcardBirthday> birthday = ReadBirthday(*card.bday);
  if (!birthday) {
    return Where(line_no) + "дата рождения «" + card.bday->value + "» не читается как дата";
  }
  std::string name = CardName(card);
  const std::string who = name.empty() ? "карточка без имени" : "«" + name + "»";
  if (birthday->kind == VcardBirthday::Kind::kNoYear) {
    ++result->no_year;
    result->notes.push_back(Where(line_no) + who + ": дата рождения без года («" +
                            card.bday->value + "»), пропущено");
    return std::nullopt;
  }
  Person person;
  if (birthday->kind == VcardBirthday::Kind::kFull) {
    person.date = values::SerialFromCivil(birthday->year, birthday->month, birthday->day);
  }
  if (person.date <= 0) {
    ++result->bad_date;
    result->notes.push_back(Where(line_no) + who + ": дата рождения «" + card.bday->value +
                            "» — не полная дата в 1801-9999 годах, пропущено");
    return std::nullopt;
  }
  if (name.empty()) {
    ++result->bad_name;
    result->notes.push_back(Where(card.begin_line) +
                            "у карточки с датой рождения нет имени (FN и N пусты), пропущено");
    return std::nullopt;
  }
  const std::string cut = CutToField(name);
  if (auto why = CheckName(cut, &person.fio)) {
    ++result->bad_name;
    result->notes.push_back(Where(card.begin_line) + *why + ", пропущено");
    return std::nullopt;
  }
  if (cut != name) {
    ++result->names_cut;
    result->notes.push_back(Where(card.begin_line) + "имя «" + name + "» длиннее " +
                            std::to_string(app::kZunFioSize) + " знаков, записано «" + cut +
                            "»");
  }
  result->people.push_back(std::move(person));
  return std::nullopt;
}

// "NAME:VALUE" and CRLF, folded so no line passes 75 octets; a fold never
// splits a UTF-8 character.
std::string ContentLine(std::string_view name, std::string_view value) {
  const std::string line = std::string(name) + ":" + std::string(value);
  std::string result;
  size_t width = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    const bool starts_character = (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80;
    size_t length = 1;
    while (starts_character && i + length < line.size() &&
           (static_cast<unsigned char>(line[i + length]) & 0xC0) == 0x80) {
      ++length;
    }
    if (starts_character && width + length > kFoldOctets) {
      result += "\r\n ";
      width = 1;
    }
    result += line[i];
    ++width;
  }
  return result + "\r\n";
}

}  // namespace

bool LooksLikeVcard(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return false;
  return values::EqualsIgnoringAsciiCase(text.substr(first, 11), "BEGIN:VCARD");
}

std::optional<std::string> ReadVcard(std::string_view text, VcardPeople* result) {
  std::vector<VcardLine> lines;
  if (auto why = ReadVcardLines(text, &lines)) return why;
  std::optional<Card> card;
  for (VcardLine& line : lines) {
    const bool is_begin = line.name == "BEGIN" && values::EqualsIgnoringAsciiCase(line.value, "VCARD");
    const bool is_end = line.name == "END" && values::EqualsIgnoringAsciiCase(line.value, "VCARD");
    if (!card) {
      if (!is_begin) {
        return Where(line.line_no) + "ожидается BEGIN:VCARD, а написано " + line.name;
      }
      card = Card{line.line_no, {}, {}, {}};
    } else if (is_begin) {
      return Where(line.line_no) + "BEGIN:VCARD внутри карточки, начатой в строке " +
             std::to_string(card->begin_line);
    } else if (is_end) {
      if (auto why = TakeCard(*card, result)) return why;
      card.reset();
    } else if ((line.name == "FN" || line.name == "N" || line.name == "BDAY") &&
               !line.undecodable.empty()) {
      return line.undecodable;
    } else if (line.name == "FN" && !card->fn) {
      card->fn = std::move(line);
    } else if (line.name == "N" && !card->n) {
      card->n = std::move(line);
    } else if (line.name == "BDAY" && !card->bday) {
      card->bday = std::move(line);
    }
  }
  if (card) {
    return Where(card->begin_line) + "карточка не закончена строкой END:VCARD";
  }
  if (result->cards == 0) return std::string("в файле нет ни одной карточки vCard");
  return std::nullopt;
}

std::string VcardEntry(const app::ZUN_Record& record) {
  std::string card = "BEGIN:VCARD\r\nVERSION:4.0\r\n";
  card += ContentLine("FN", EscapeText(values::Cp1251ToUtf8(app::ZunName(record))));
  if (values::IsValidDateSerial(record.DATA)) {
    const values::CivilDate date = values::CivilFromSerial(record.DATA);
    char text[9];
    std::snprintf(text, sizeof text, "%04d%02d%02d", date.year, date.month, date.day);
    card += ContentLine("BDAY", text);
  }
  return card + "END:VCARD\r\n";
}

}  // namespace zuna::tool
