// A contact's BDAY as phones and mail programs write it, read into what the
// register can take: a full date, or the reason it cannot.
//
// Forms read: "1985-03-05" and "19850305", either with a time part
// ("1985-03-05T00:00:00Z", "19850305T120000"), with or without VALUE=date;
// the year-less "--0305", "--03-05" and "---05" of 3.0 and 4.0; the year
// Apple Contacts puts in for a birthday without one (1604 with
// X-APPLE-OMIT-YEAR=1604); 4.0's reduced dates ("1985-03", "1985") and
// VALUE=text, which hold no full date.
#ifndef ZUNA_TOOLS_ZUNATOOL_VCARD_BIRTHDAY_H_
#define ZUNA_TOOLS_ZUNATOOL_VCARD_BIRTHDAY_H_

#include <optional>

#include "tools/zunatool/vcard_lines.h"

namespace zuna::tool {

struct VcardBirthday {
  enum class Kind {
    kFull,        // year, month and day; the year may still lie outside 1801-9999
    kNoYear,      // a month and day without a year
    kIncomplete,  // a year without a day, or free text
  };
  Kind kind = Kind::kFull;
  int year = 0;  // 0 unless kFull
  int month = 0;
  int day = 0;
};

// Reads the BDAY line `line`.  nullopt when its value is none of the forms
// above or names a day the calendar does not have (30 February): the file
// is then malformed, not merely a contact the register cannot hold.
std::optional<VcardBirthday> ReadBirthday(const VcardLine& line);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_VCARD_BIRTHDAY_H_
