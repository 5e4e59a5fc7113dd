// The steps of BUILD and PACK where a process killed on purpose shows
// whether the files it leaves are safe: every key complete, or OPEN
// answering 46 until a BUILD (the crash tests of tests/stations kill a
// station at each of them).  Nothing else uses them; without a hook they
// cost a test of a null pointer.
//
// Threads: the hook is set once, before any driver work, and called on the
// thread running the BUILD or PACK.
#ifndef ZUNA_RUNTIME_DATFILE_MAINTENANCE_POINTS_H_
#define ZUNA_RUNTIME_DATFILE_MAINTENANCE_POINTS_H_

namespace zuna::datfile {

enum class MaintenancePoint {
  kKeysCut,           // the key files to be built are cut, on disk
  kKeyEntriesSorted,  // a key's entries are sorted, no node written yet
  kKeyNodeWritten,    // one more node of a key's new tree is written
  kKeyWritten,        // the new tree is whole and synced under its own name
  kKeyInPlace,        // ... and renamed over the key file
  kPackCopied,        // the packed pair is written and synced
  kPackMemoParked,    // the old memo file is moved aside
  kPackDataReplaced,  // the packed data file is in place
  kPackMemoReplaced,  // the packed memo file is in place
};

using MaintenanceHook = void (*)(MaintenancePoint point);
void SetMaintenanceHook(MaintenanceHook hook);

// Called by BUILD and PACK at each point.
void ReachedMaintenancePoint(MaintenancePoint point);

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_MAINTENANCE_POINTS_H_
