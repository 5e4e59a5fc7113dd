// The multi-station protocol: the header lock byte, the header refresh with
// another station's LOCK flag and RECOVER, LOCK / UNLOCK, and the waits of
// hold-reads.
//
// Every station reaches the shared files directly; there is no server.
// Byte 0 of the data file is the serialisation unit: a station takes it
// (an exclusive lock; shared for a read-only station, which still keeps
// writers out) before it reads a header, the free chain, a key file or the
// memo free list, and frees it at the end of the operation (EndSharing).
// While it holds byte 0 it also locks one reserved byte of each key and
// memo file: on a network file system taking a lock makes the client
// revalidate its cache of that file, and freeing it makes the client write
// its changes back, so the next station to take byte 0 sees them.
//
// Waits: byte 0 is tried every millisecond for a second; a header refresh
// that cannot get it waits a second and tries again, without limit (a dead
// station's locks vanish with its process).  Waits for another station's
// LOCK flag or held record sleep in steps, byte 0 freed, and never spin.
// Another station's transaction is waited out for as long as
// SetTransactionWaitLimit allows (without limit unless set).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "runtime/datfile/dat_format.h"
#include "runtime/datfile/driver_internal.h"
#include "runtime/datfile/transaction.h"

namespace zuna::datfile {
namespace driver {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr uint64_t kHeaderByte = 0;
// The byte of a key or memo file locked alongside byte 0 (see above): the
// last one callers may lock, far beyond any block.
constexpr uint64_t kCompanionByte = kLockRangeLimit - 1;
constexpr auto kByteRetry = milliseconds(1);
constexpr auto kByteAttempts = seconds(1);
constexpr auto kRefreshRound = seconds(1);
constexpr auto kHoldRound = milliseconds(100);
constexpr auto kTransactionRetry = milliseconds(2);

void DefaultFatal(std::string_view text, const Status& status) {
  std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(text.size()), text.data(),
               status.ToString().c_str());
  std::fflush(stderr);
  std::_Exit(EXIT_FAILURE);
}

FatalHandler fatal_handler = DefaultFatal;  // guarded by the driver's mutex

// SetTransactionWaitLimit's milliseconds; negative: no limit.
std::atomic<int64_t> transaction_wait_ms{-1};

// A lock call that failed other than by a conflict: nobody can know what
// is held any more, so the program stops rather than go on unlocked.
Status CheckLocking(Status status) {
  if (IsLockingFailure(status)) {
    fatal_handler("DOS FILE LOCKING ERROR", status);
    std::_Exit(EXIT_FAILURE);  // a handler must not return
  }
  return status;
}

LockKind ByteKind(const DriverState& s) {
  return s.read_only ? LockKind::kShared : LockKind::kExclusive;
}

// The key and memo files' reserved bytes; conflicts only with another
// station that holds byte 0 as well, which cannot be, so a refusal here is
// waited out like byte 0's.
Status LockCompanions(DriverState& s) {
  for (KeyState& key : s.keys) {
    if (!key.file) continue;
    ZUNA_RETURN_IF_ERROR(
        CheckLocking(key.file->file().Lock(kCompanionByte, 1, LockKind::kShared)));
  }
  if (s.memo) {
    ZUNA_RETURN_IF_ERROR(
        CheckLocking(s.memo->file().Lock(kCompanionByte, 1, LockKind::kShared)));
  }
  return Status::OK();
}

void UnlockCompanions(DriverState& s) {
  for (KeyState& key : s.keys) {
    if (key.file) (void)CheckLocking(key.file->file().Unlock(kCompanionByte, 1));
  }
  if (s.memo) (void)CheckLocking(s.memo->file().Unlock(kCompanionByte, 1));
}

// One round: byte 0 every millisecond for a second; 5 when it stays taken.
// With `companions`, the key and memo files' reserved bytes too.
Status TakeHeaderByteRound(DatFileInstance& file, bool companions = true) {
  DriverState& s = file.driver_state();
  if (!s.shared || s.header_byte_locked) return Status::OK();
  const Clock::time_point give_up = Clock::now() + kByteAttempts;
  for (;;) {
    Status status = CheckLocking(
        s.data->file().Lock(kHeaderByte, 1, ByteKind(s)));
    if (status.ok()) break;
    if (Clock::now() >= give_up) return status;
    PauseOutsideDriver(kByteRetry);
  }
  s.header_byte_locked = true;
  s.companions_locked = companions;
  if (!companions) return Status::OK();
  Status status = LockCompanions(s);
  if (!status.ok()) FreeHeaderByte(file);
  return status;
}

// Rounds of a second, without limit.
Status TakeHeaderByteWaiting(DatFileInstance& file, bool companions = true) {
  for (;;) {
    Status status = TakeHeaderByteRound(file, companions);
    if (status.code() != Err::kAccessDenied) return status;
    PauseOutsideDriver(kRefreshRound);
  }
}

// Another station's LOCK flag: refused, or waited out and broken with
// RECOVER once the header's change stamp has stood still for n seconds.
// Called with byte 0 held and the header just read; *retry asks the caller
// to read it again (byte 0 has been freed meanwhile).
Status HonourForeignLock(DatFileInstance& file, RefreshMode mode, bool* retry) {
  DriverState& s = file.driver_state();
  *retry = false;
  const DatHeader& h = s.data->header();
  if (!(h.attributes & dat::kAttrLocked) || s.locked_by_me) return Status::OK();
  const uint32_t recover = s.switches.recover_seconds;
  if (recover == 0) {
    FreeHeaderByte(file);
    return Status::Error(
        mode == RefreshMode::kOpen ? Err::kAccessDenied : Err::kFileLocked,
        s.data_path + ": locked by another station");
  }
  const uint64_t stamp = (uint64_t{h.change_date} << 32) | h.change_time;
  const Clock::time_point now = Clock::now();
  if (!s.recover_watch.active || s.recover_watch.stamp != stamp) {
    s.recover_watch = {true, stamp, now};
  }
  if (now - s.recover_watch.since >= seconds(recover)) {
    // Abandoned: the station that set the flag has not changed the file
    // for n seconds.  Clear it for everybody.
    s.recover_watch.active = false;
    s.data->mutable_header()->attributes &= ~dat::kAttrLocked;
    ZUNA_RETURN_IF_ERROR(s.data->WriteHeader(/*stamp=*/true));
    return s.data->Sync();
  }
  FreeHeaderByte(file);
  PauseOutsideDriver(kRefreshRound);
  *retry = true;
  return Status::OK();
}

}  // namespace

void SetFatal(FatalHandler handler) {
  fatal_handler = handler ? handler : DefaultFatal;
}

Status TakeHeaderByte(DatFileInstance& file) {
  return TakeHeaderByteRound(file);
}

void FreeHeaderByte(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  if (!s.header_byte_locked) return;
  s.header_byte_locked = false;
  // Other stations may change any slot once the byte is theirs.
  s.data->DropReadAhead();
  if (s.companions_locked) UnlockCompanions(s);
  s.companions_locked = false;
  (void)CheckLocking(s.data->file().Unlock(kHeaderByte, 1));
}

void EndSharing(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  s.refreshed = false;
  if (s.data) FreeHeaderByte(file);
}

namespace {

// Another station's (or thread's) transaction on this data file, found by
// its log: while it runs, its log is held and *wait is set -- this station
// must not read what it half wrote, nor write what its undo would then
// wipe out.  A log nobody holds was left by a station that died inside its
// transaction, or after its commit point: recovery deals with it now,
// before anything here reads the files.  With byte 0 held.
// The calling thread's own transaction goes on through its own log.  One
// that has logged other files already does not wait either: a station
// waiting on it might be what this one would wait for; its writes meet
// the held log (48) and its transaction is rolled back instead.
Status SettleOtherTransaction(DatFileInstance& file, bool* wait) {
  DriverState& s = file.driver_state();
  *wait = false;
  if (!s.shared || transaction::LogsHere(s.log->data_path)) return Status::OK();
  const std::string log_path = transaction::LogPathFor(s.data_path);
  if (!file.fs().Exists(log_path)) return Status::OK();
  Status probe = file.fs().ProbeUnused(log_path);
  if (probe.code() == Err::kAccessDenied) {
    *wait = !transaction::LogsAnythingHere();
    return Status::OK();
  }
  if (!probe.ok() || transaction::Active()) return Status::OK();
  // A read-only FILE cannot write the undo through its own description:
  // recovery then opens the data file itself, as at an open.
  File* here = s.read_only ? nullptr : &s.data->file();
  Status recovered = transaction::Recover(file.fs(), s.data_path, here);
  if (recovered.code() == Err::kLogoutActive) {
    *wait = true;  // its station came back to it meanwhile
    return Status::OK();
  }
  return recovered;
}

// Before another pause for another station's transaction: 56 once the
// limit has passed since the first pause of this refresh (*give_up, set
// then).
Status CheckTransactionWait(const DriverState& s,
                            std::optional<Clock::time_point>* give_up) {
  const int64_t limit_ms = transaction_wait_ms.load(std::memory_order_relaxed);
  if (limit_ms < 0) return Status::OK();
  const Clock::time_point now = Clock::now();
  if (!give_up->has_value()) *give_up = now + milliseconds(limit_ms);
  if (now < **give_up) return Status::OK();
  return Status::Error(Err::kLogoutActive,
                       transaction::LogPathFor(s.data_path) +
                           ": another station's transaction is still in "
                           "progress after " + std::to_string(limit_ms) + " ms");
}

}  // namespace

Status RefreshHeader(DatFileInstance& file, RefreshMode mode) {
  DriverState& s = file.driver_state();
  if (s.refreshed) return Status::OK();
  // Alone on the file, the header in memory is the truth; only OPEN looks
  // for a LOCK flag another station left.
  if (!s.shared && mode != RefreshMode::kOpen) return Status::OK();
  if (mode == RefreshMode::kLock && s.log->data != nullptr &&
      transaction::SoleWriterHere(*s.log->data)) {
    // Inside this FILE's own transaction every other station waits for its
    // log before it reads or writes the file, and no other FILE here has
    // changed it: the headers in memory are the file's, and reading them
    // again for every record would only cost time.  Byte 0 is still taken,
    // for the stations that read without waiting (those inside a
    // transaction of their own) and must not meet a half-written header;
    // not the key and memo files' bytes, which only make a network file
    // system revalidate and write back its caches: no other station's
    // change is there to see, and the transaction's own reach the server
    // at its syncs.
    ZUNA_RETURN_IF_ERROR(TakeHeaderByteWaiting(file, /*companions=*/false));
    // For the same reason the key nodes read stay good: a cache that
    // holds a bulk load's tree saves reading them again.
    for (KeyState& key : s.keys) {
      if (key.file && key.maintained) key.file->SetLargeCache(true);
    }
    s.refreshed = true;
    return Status::OK();
  }
  std::optional<Clock::time_point> transaction_give_up;
  for (;;) {
    ZUNA_RETURN_IF_ERROR(TakeHeaderByteWaiting(file));
    bool wait = false;
    Status status = SettleOtherTransaction(file, &wait);
    if (!status.ok()) {
      FreeHeaderByte(file);
      return status;
    }
    if (wait) {
      FreeHeaderByte(file);
      ZUNA_RETURN_IF_ERROR(CheckTransactionWait(s, &transaction_give_up));
      PauseOutsideDriver(kTransactionRetry);
      continue;
    }
    status = s.data->ReadHeader();
    bool retry = false;
    if (status.ok()) status = HonourForeignLock(file, mode, &retry);
    if (!status.ok()) {
      FreeHeaderByte(file);
      return status;
    }
    if (!retry) break;
  }
  s.recover_watch.active = false;
  if (!s.shared) return Status::OK();
  Status status;
  if (s.memo) status = s.memo->ReadHeader();
  for (KeyState& key : s.keys) {
    if (!key.file || !key.maintained) continue;
    key.file->SetLargeCache(false);
    if (status.ok()) status = key.file->Refresh();
  }
  if (!status.ok()) {
    FreeHeaderByte(file);
    return status;
  }
  s.refreshed = true;
  return Status::OK();
}

Status LockFile(DatFileInstance& file, int32_t wait_seconds) {
  DriverState& s = file.driver_state();
  if (!s.shared || s.locked_by_me) return Status::OK();
  const Clock::time_point give_up = Clock::now() + seconds(std::max(0, wait_seconds));
  for (;;) {
    Status status = RefreshHeader(file, RefreshMode::kLock);
    if (status.code() != Err::kFileLocked || Clock::now() >= give_up) {
      ZUNA_RETURN_IF_ERROR(status);
      break;
    }
    PauseOutsideDriver(kHoldRound);
  }
  s.data->mutable_header()->attributes |= dat::kAttrLocked;
  ZUNA_RETURN_IF_ERROR(s.data->WriteHeader(/*stamp=*/false));
  s.locked_by_me = true;
  return s.data->Sync();
}

Status UnlockFile(DatFileInstance& file) {
  DriverState& s = file.driver_state();
  if (!s.shared || !s.locked_by_me) return Status::OK();
  ZUNA_RETURN_IF_ERROR(RefreshHeader(file, RefreshMode::kLock));
  s.data->mutable_header()->attributes &= ~dat::kAttrLocked;
  ZUNA_RETURN_IF_ERROR(s.data->WriteHeader(/*stamp=*/false));
  s.locked_by_me = false;
  return s.data->Sync();
}

Status WaitForHeldSlot(DatFileInstance& file, uint32_t record_no, bool hold,
                       SlotPrefix* prefix, std::span<char> raw) {
  DriverState& s = file.driver_state();
  const uint32_t recover = s.switches.recover_seconds;
  // Read from the clock only once a wait begins: most slots are not held.
  std::optional<Clock::time_point> start;
  for (;;) {
    ZUNA_RETURN_IF_ERROR(s.data->ReadSlot(record_no, prefix, raw));
    if (!prefix->held() || s.held == record_no || s.switches.ignore_status) {
      return Status::OK();
    }
    // Held by another station.  A plain read without RECOVER takes it as
    // it is.
    if (!hold && recover == 0) return Status::OK();
    if (!start) start = Clock::now();
    const auto waited = Clock::now() - *start;
    if (recover != 0 && waited >= seconds(recover)) {
      // Abandoned: take the hold over and give it up, which clears the bit.
      prefix->status &= ~dat::kStatusHeld;
      return s.data->WriteStatus(record_no, prefix->status);
    }
    if (hold && s.hold_seconds != 0 && waited >= seconds(s.hold_seconds)) {
      return Status::Error(Err::kRecordHeld, s.data_path + ": record " +
                                                 std::to_string(record_no) +
                                                 " held by another station");
    }
    FreeHeaderByte(file);
    PauseOutsideDriver(kHoldRound);
    ZUNA_RETURN_IF_ERROR(TakeHeaderByteWaiting(file));
  }
}

}  // namespace driver

void SetTransactionWaitLimit(std::chrono::milliseconds limit) {
  driver::transaction_wait_ms.store(limit.count() < 0 ? -1 : limit.count(),
                                    std::memory_order_relaxed);
}

void SetFatalHandler(FatalHandler handler) {
  driver::SetFatal(handler);
}

}  // namespace zuna::datfile
