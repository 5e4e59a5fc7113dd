// Adding a whole list of people to the register as one transaction, for
// every import, whatever file the people came from.
#ifndef ZUNA_TOOLS_ZUNATOOL_IMPORT_PEOPLE_H_
#define ZUNA_TOOLS_ZUNATOOL_IMPORT_PEOPLE_H_

#include <string>
#include <vector>

#include "tools/zunatool/person_text.h"

namespace zuna::tool {

// Adds `people`, already checked, to the register `file_name` ("ZUN" or
// "ZUN.DAT"), opened shared read/write.  The adds run under STREAM and are
// flushed once at the end, all inside one transaction: an import that
// fails (a full disk, another station's transaction outlasting --wait) is
// rolled back, and one killed half way is undone by the next open, so the
// register holds all of the list or none of it.  While it runs, other
// stations wait for it; a second import waits like any of them.
// Returns the exit code, having reported any failure.
int ImportPeople(const std::string& file_name, const std::vector<Person>& people);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_IMPORT_PEOPLE_H_
