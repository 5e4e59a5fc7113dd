// How the commands over a register say what went wrong: one line on
// stderr that names the file the command concerns, says in Russian what it
// means for the user where a number has a plain meaning, and keeps what
// the driver and the system said:
//
//   zunatool: ZUN.DAT: на диске не осталось места: 39 Disk Full
//       (/home/u/ZUN.K01: No space left on device)
//
// (one line; the detail in parentheses is FILEERROR(), which names the file
// the system refused, a key or log file as often as the data file).
#ifndef ZUNA_TOOLS_ZUNATOOL_FILE_ERRORS_H_
#define ZUNA_TOOLS_ZUNATOOL_FILE_ERRORS_H_

#include <string>
#include <string_view>

#include "runtime/datfile/status.h"

namespace zuna::tool {

// The register file as the user named it, ".DAT" added when the last
// component has no extension: "ZUN" -> "ZUN.DAT", "/srv/zun" ->
// "/srv/zun.DAT".
std::string FileLabel(std::string_view file);

// The line above for the calling thread's runtime error (ERRORCODE(),
// ERROR(), FILEERROR()), on stderr; returns 1.
int ReportFileError(std::string_view label);

// The same for a Status of the driver's lower layers.
int ReportFileStatus(std::string_view label, const datfile::Status& status);

// "zunatool: LABEL: MESSAGE" on stderr; returns 1.
int RefuseFile(std::string_view label, std::string_view message);

// "zunatool: LABEL: MESSAGE" on stderr, for a note that is not a failure
// (a wait beginning).
void NoteOnStderr(std::string_view label, std::string_view message);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_FILE_ERRORS_H_
