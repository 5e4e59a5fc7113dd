// A person as the register's commands read and write them: the checks every
// name and date coming from outside must pass before the driver sees them,
// and the texts a stored date is written as.
//
// A name is 1 to 30 characters, each with a form in 1251 (the program's
// text) and in 866 (ZUN stores its text as OEM), and no control
// characters.  A date is a real calendar date from 1801 to 9999.
#ifndef ZUNA_TOOLS_ZUNATOOL_PERSON_TEXT_H_
#define ZUNA_TOOLS_ZUNATOOL_PERSON_TEXT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zuna::tool {

struct Person {
  std::string fio;  // 1251, no trailing blanks
  int32_t date = 0;  // a date serial; 0 for none
};

// Checks a name given in UTF-8; on success `*fio` is its 1251 form without
// trailing blanks.  Otherwise the reason, in Russian, for the user.
std::optional<std::string> CheckName(std::string_view utf8, std::string* fio);

// Checks "D/M/YYYY" (1-2, 1-2 and 4 digits): a real calendar date from
// 1801 to 9999.  On success `*serial` is its date serial.
std::optional<std::string> CheckDate(std::string_view text, int32_t* serial);

// `serial` in @D6 without its leading blank ("5/03/2009"), as list prints
// it; empty for a record without a valid date.
std::string ListDate(int32_t serial);

// `serial` in @D06 ("05/03/2009"), as CSV carries it; empty for a record
// without a valid date (the program can leave DATA 0).
std::string CsvDate(int32_t serial);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_PERSON_TEXT_H_
