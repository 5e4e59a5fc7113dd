// import FILE CONTACTS: people from a file of contacts into the register,
// all or nothing (import_people.h).  The file's content says what it is: a
// file beginning with BEGIN:VCARD is read as vCard (vcard_people.h),
// whatever its name; one named *.vcf or *.vcard that does not is a
// malformed vCard; anything else is the register's CSV (csv_people.h).
//
// A vCard import writes a line on stderr for each contact it leaves out
// for a reason worth telling (no year, no name...) and each name it cuts,
// and once the people are in, the counts on stdout:
//   Добавлено: 12
//   Пропущено: 30 (без даты рождения: 28, дата без года: 2)
//   Сокращено имён: 1          (only when a name was cut)
// A CSV import prints nothing on success, as it always has.
#ifndef ZUNA_TOOLS_ZUNATOOL_IMPORT_CONTACTS_H_
#define ZUNA_TOOLS_ZUNATOOL_IMPORT_CONTACTS_H_

#include <string>

#include "tools/zunatool/vcard_people.h"

namespace zuna::tool {

// Imports the file at `path` into the register `file_name`.  Returns the
// exit code, having reported any failure; a malformed file changes nothing.
int ImportContacts(const std::string& file_name, const std::string& path);

// The counts above for what ReadVcard found, each line ending in '\n'.
std::string ImportSummary(const VcardPeople& found);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_IMPORT_CONTACTS_H_
