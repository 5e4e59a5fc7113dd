// check's first step.  After a crash the user's question is "is my register
// sound?", so a transaction that died half way is undone before the
// checker looks, exactly as the first open of the file would undo it (the
// driver's own recovery, transaction.h) and under the same locks: byte 0 of
// the data file held as a writing station holds it for one operation, the
// log and the transaction file taken deny-all by the recovery.
//
// Byte 0 stays held until the check is done, so no station changes the
// file while the checker reads it; another program's running transaction
// (its log held), or a build or pack that has the file alone, is waited out
// up to --wait.
#ifndef ZUNA_TOOLS_ZUNATOOL_CHECK_RECOVERY_H_
#define ZUNA_TOOLS_ZUNATOOL_CHECK_RECOVERY_H_

#include <memory>
#include <string>

#include "runtime/datfile/os_file.h"

namespace zuna::tool {

struct SettledForCheck {
  // This process's own description of the data file, holding byte 0; the
  // lock goes with it.
  std::unique_ptr<datfile::File> holder;
  // A UTF-8 line for stdout when a log was dealt with (a transaction
  // undone, or a log with nothing to undo removed); else empty.
  std::string note;
};

// Settles the data file at `data_path` (absolute, as ResolveDataFileName
// gives it) for the checker.  0 on success; 1 after a message naming
// `label` on stderr: the file cannot be opened, the undo failed (65; the
// next open tries again), or another program kept it busy past --wait.
int SettleForCheck(datfile::FileSystem& fs, const std::string& data_path,
                   const std::string& label, SettledForCheck* settled);

}  // namespace zuna::tool

#endif  // ZUNA_TOOLS_ZUNATOOL_CHECK_RECOVERY_H_
