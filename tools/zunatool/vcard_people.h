// People in and out of vCard files.
//
// In: every card of a file (2.1, 3.0 or 4.0, as vcard_lines.h reads them)
// becomes a person of the register, named by FN, or by N when FN is
// missing or empty (family name first, as the register writes names: "N:
// Иванов;Иван;;;" is "Иванов Иван"), born on its BDAY (vcard_birthday.h).
// A card that does not fit is left out, the rest still come in:
//   - no BDAY: left out and counted (most contacts of a phone have none);
//   - a birthday without a year, one in free text, or a year outside
//     1801-9999: left out with a note, since the register needs a full
//     date;
//   - no name, or a name with a character the register cannot store: left
//     out with a note.
// A name longer than the register's field is cut at the last word that
// fits (or at the field's end when one word is longer) and noted.  A file
// that is not a sequence of BEGIN:VCARD ... END:VCARD cards, a BDAY that is
// no date at all, or an FN, N or BDAY in a character set that cannot be
// read makes the file malformed: nothing is taken from it.  (Other
// properties are not read, so their character sets do not matter.)
//
// Out: vCard 4.0, a card per person with FN and, when the record has a
// date, BDAY (basic form, "19850305"); CRLF line ends, lines folded at 75
// octets.
#ifndef ZUNA_TOOLS_ZUNATOOL_VCARD_PEOPLE_H_
#define ZUNA_TOOLS_ZUNATOOL_VCARD_PEOPLE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/zun_dictionary.h"
#include "tools/zunatool/person_text.h"

namespace zuna::tool {

struct VcardPeople {
  std::vector<Person> people;     // in the file's order
  std::vector<std::string> notes; // "строка N: ..." per card left out or name cut
  int cards = 0;
  int no_birthday = 0;
  int no_year = 0;
  int bad_date = 0;  // free text, no day, or a year outside 1801-9999
  int bad_name = 0;  // none, or not storable
  int names_cut = 0;
};

// True when `text` (a file's first bytes suffice) begins, after a UTF-8
// byte-order mark and blank lines, with BEGIN:VCARD in any case.
bool LooksLikeVcard(std::string_view text);

// Reads every card of `text`, the whole file.  On failure the reason,
// "строка N: ...", and *result is incomplete.
std::optional<std::string> ReadVcard(std::string_view text, VcardPeople* result);

// The card of a record, CRLF line ends (UTF-8).
std::string VcardEntry(const app::ZUN_Record& record);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_VCARD_PEOPLE_H_
