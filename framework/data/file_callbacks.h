// File callbacks: an object registered for a FILE is told before and after
// every runtime statement on that FILE, with the operation's code; the file
// manager registers itself so it can run its Pre/Post hooks and catch
// misuse (a CLOSE behind its back, an operation before UseFile, a FILE
// destroyed while open).
//
// The notification rides on the runtime's statement observer
// (runtime/datfile/statements.h), installed for the process by the first
// registration: every statement is heard, whoever runs it.  Reads a view
// makes through the driver itself are not statements and are not heard.
//
// Operation codes: the codes the file manager reacts to are fixed (kAdd 1,
// kAppend 4, kClose 7, kDelete 11, kPut 30, kAddLen 51, kPutPtr 54,
// kPutPtrLen 55, kAppendLen 59, kGetNulls 96, kSetNulls 97, kDestroy 104);
// every other operation has a code of its own from 120 on.
//
// Threads: registrations are per thread (thread_local): a callback hears
// only the operations its own thread performs, which is what a manager
// that exists once per thread wants.  Register, unregister and be told on
// the same thread.
#ifndef ZUNA_FRAMEWORK_DATA_FILE_CALLBACKS_H_
#define ZUNA_FRAMEWORK_DATA_FILE_CALLBACKS_H_

#include <cstdint>

#include "runtime/datfile/driver.h"
#include "runtime/datfile/file_instance.h"

namespace zuna::framework {

namespace FileFunction {
inline constexpr uint16_t kAdd = 1;
inline constexpr uint16_t kAppend = 4;
inline constexpr uint16_t kClose = 7;
inline constexpr uint16_t kDelete = 11;
inline constexpr uint16_t kPut = 30;
inline constexpr uint16_t kAddLen = 51;
inline constexpr uint16_t kPutPtr = 54;
inline constexpr uint16_t kPutPtrLen = 55;
inline constexpr uint16_t kAppendLen = 59;
inline constexpr uint16_t kGetNulls = 96;
inline constexpr uint16_t kSetNulls = 97;
inline constexpr uint16_t kDestroy = 104;
// The framework's own numbering for the rest.
inline constexpr uint16_t kOpen = 120;
inline constexpr uint16_t kCreate = 121;
inline constexpr uint16_t kGetKey = 122;       // GET by key value
inline constexpr uint16_t kReget = 123;        // REGET by position
inline constexpr uint16_t kSet = 124;          // any SET / RESET
inline constexpr uint16_t kNext = 125;
inline constexpr uint16_t kPrevious = 126;
inline constexpr uint16_t kPosition = 127;
inline constexpr uint16_t kDuplicate = 128;
inline constexpr uint16_t kWatch = 129;
inline constexpr uint16_t kNoMemo = 130;
inline constexpr uint16_t kBuild = 131;
inline constexpr uint16_t kSend = 132;
inline constexpr uint16_t kOther = 199;
}  // namespace FileFunction

// What a registered object implements.  Both calls run on the thread that
// performs the operation, which must not be inside another notification
// of the same callback (the file manager guards itself with InCallback).
class FileCallbackInterface {
 public:
  virtual ~FileCallbackInterface() = default;
  // Before operation `code` runs.
  virtual void FunctionCalled(uint16_t code) = 0;
  // After it ran; `error` is its runtime error number (0 = success), and
  // the runtime error state (ERRORCODE() ...) is the operation's.
  virtual void FunctionDone(uint16_t code, int32_t error) = 0;
};

// Registers `callback` for `file` on the calling thread; a second
// registration of the same pair does nothing.  The callback must stay
// alive until it is unregistered.
void RegisterFileCallback(datfile::DatFileInstance& file,
                          FileCallbackInterface* callback);
// Forgets the pair (nothing when it was not registered).
void UnregisterFileCallback(datfile::DatFileInstance& file,
                            FileCallbackInterface* callback);
// Whether `callback` is registered for `file` on the calling thread.
bool IsFileCallbackRegistered(datfile::DatFileInstance& file,
                              FileCallbackInterface* callback);

// The code callbacks are told for a runtime operation.
uint16_t FileFunctionCode(datfile::Op op);

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_FILE_CALLBACKS_H_
