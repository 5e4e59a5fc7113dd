// The error state the error manager's messages read: which file, field and
// key the last failure concerned, the runtime error it left, and the entry
// being reported.  One ErrorStatusGroup per thread, held by an
// ErrorStatusClass object, so a message shows the file, field and error of
// the thread that raised it.
//
// Ownership: the program has one ErrorStatusClass (GlobalErrorStatus),
// handed to ErrorClass::Init and outliving it.  Each thread's group comes
// into being, empty, the first time that thread asks for it, and goes when
// the thread ends or calls ReleaseThisThread().
//
// Threads: any thread; each thread reads and writes only its own group, so
// no lock is needed.
#ifndef ZUNA_FRAMEWORK_DATA_ERROR_STATUS_H_
#define ZUNA_FRAMEWORK_DATA_ERROR_STATUS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace zuna::framework {

// The text fields hold at most this many bytes (255-byte terminated
// strings); longer values are cut.
inline constexpr size_t kStatusTextLimit = 254;

// The entry being reported, copied out of the table (owned texts).
struct ErrorBufferGroup {
  int32_t Id = 0;
  std::string Message;
  std::string Title;
  uint8_t Fatality = 0;
  std::string Category;
};

struct ErrorStatusGroup {
  std::string FieldName;    // %Field
  std::string FileName;     // %File
  std::string KeyName;      // %Key
  std::string MessageText;  // %Message
  std::string SaveError;    // ERROR() captured by SetErrors
  int32_t SaveErrorCode = 0;  // ERRORCODE()
  std::string SaveFileError;      // FILEERROR()
  std::string SaveFileErrorCode;  // FILEERRORCODE(), a text
  ErrorBufferGroup ErrorBuffer;
  int32_t PrevErrorId = 0;  // ErrorBuffer.Id before the current entry
};

// `text` cut to kStatusTextLimit bytes.
std::string StatusText(std::string_view text);

class ErrorStatusClass final {
 public:
  ErrorStatusClass();
  ~ErrorStatusClass() = default;
  ErrorStatusClass(const ErrorStatusClass&) = delete;
  ErrorStatusClass& operator=(const ErrorStatusClass&) = delete;

  // The calling thread's group of this object.
  ErrorStatusGroup& ThisThread();

  // Forgets the calling thread's group (thread exit, in the order the
  // program ends a thread); the next ThisThread() starts empty.
  void ReleaseThisThread();

 private:
  // Keys the per-thread groups; never reused, so an object created where a
  // destroyed one lived does not see its groups.
  const uint64_t serial_;
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_DATA_ERROR_STATUS_H_
