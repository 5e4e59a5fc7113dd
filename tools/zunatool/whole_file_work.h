// build and pack rewrite the whole register -- the keys made anew, the
// record numbers closed up -- which no other program may see half done:
// the driver opens the file alone for them (deny all) and refuses with 5
// while any other program has it open.  RunAlone waits for the others to
// close it, up to --wait, saying once on stderr that another program has
// the register open; then it refuses with a Russian message and exit 1,
// and nothing has changed.
//
// Before the work, a transaction that died half way is undone, as any open
// would: keys built over its half-written records would otherwise be
// overwritten with its old key blocks by the next open's undo.
#ifndef ZUNA_TOOLS_ZUNATOOL_WHOLE_FILE_WORK_H_
#define ZUNA_TOOLS_ZUNATOOL_WHOLE_FILE_WORK_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/datfile/file_instance.h"

namespace zuna::tool {

// Runs `work` (BUILD or PACK of a closed FILE of the register `name`, as the
// user typed it) once no other program has the register open.  `what`
// names the work for messages, in the genitive ("перестройки ключей").  Returns the exit
// code: 0, or 1 after a message on stderr.
int RunAlone(const std::string& name, std::string_view what,
             int32_t (*work)(datfile::DatFileInstance& file));

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_WHOLE_FILE_WORK_H_
