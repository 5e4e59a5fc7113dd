// Build events: how BUILD (and the key rebuild that ends PACK) tells a FILE
// how far it has got, and how the FILE can cancel it.
//
// A FILE asks for build events by giving its instance a handler
// (DatFileInstance::set_build_events).  The driver then calls it, on the
// thread running the operation and inside the driver's critical section:
//   - while a key's records are read: whenever another hundredth of the
//     data file's slots has been read (at most 100 calls per key), and once
//     when the last slot has been read (final = false);
//   - once when the whole operation has built its keys (final = true).
// The answer to a progress event is ignored: the keys being built are
// finished either way, so that no key is left half made.  A non-zero answer
// to the final event turns the operation's result into 93 ("BUILD
// Cancelled").  The keys built stay as built, consistent with the records,
// so the FILE opens as usual afterwards; only a dynamic index, whose key
// the cancelled statement never hands out, is dropped again.  A BUILD that
// failed with an error other than 40 posts no final event: its error
// stands.
//
// The handler may run driver operations on other FILEs (the critical section
// is recursive), never on the FILE being built.
#ifndef ZUNA_RUNTIME_DATFILE_BUILD_EVENTS_H_
#define ZUNA_RUNTIME_DATFILE_BUILD_EVENTS_H_

#include <cstdint>
#include <functional>

namespace zuna::datfile {

struct BuildProgress {
  // The key being built: its index among the FILE's keys (as statements.h's
  // Key names it), and its place among the keys this operation builds.
  int key = -1;
  uint32_t key_ordinal = 0;  // 1-based
  uint32_t key_count = 0;
  // Slots of the data file read so far for this key, of all its slots
  // (live and deleted).
  uint32_t records_read = 0;
  uint32_t records_total = 0;
  // The operation has built its keys; the answer decides 93.
  bool final = false;
};

// Answers 0 to go on; a non-zero answer to the final event cancels.
using BuildEventHandler = std::function<int(const BuildProgress&)>;

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_BUILD_EVENTS_H_
