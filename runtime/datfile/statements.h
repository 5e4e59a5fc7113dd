// The runtime's file statements over the data-file driver, as typed
// functions: each builds the operation's arguments, calls Dispatch
// (driver.h) and posts the outcome once into the calling thread's runtime
// error state (ERRORCODE(), ERROR(), FILEERRORCODE(), FILEERROR():
// runtime/values/error_state.h): cleared on success, the error number with
// the driver's detail on failure.
//
// Statements that do something return the error number (0 = success).
// Statements that answer a question (RECORDS, POSITION, POINTER, EOF, BOF,
// DUPLICATE, SEND) return the answer; their error number is ERRORCODE().
//
// Threads: any thread, for its own FILEs; the driver serialises.
#ifndef ZUNA_RUNTIME_DATFILE_STATEMENTS_H_
#define ZUNA_RUNTIME_DATFILE_STATEMENTS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/datfile/driver.h"
#include "runtime/datfile/file_instance.h"

namespace zuna::datfile {

// A key of a FILE: its 0-based index among the FILE's keys (declared keys
// in declaration order, then dynamic indexes as BUILD returned them).
struct Key {
  int index = 0;
};
// Tag: SET in record-number order from a key search (SETfilekey).
struct FileOrder {};

// Default mode words: OPEN read/write deny write, SHARE read/write deny none.
inline constexpr uint32_t kOpenDefaultMode = kAccessReadWrite | kShareDenyWrite;
inline constexpr uint32_t kShareDefaultMode = kAccessReadWrite | kShareDenyNone;

// The one place a driver status reaches the thread's error state, as every
// statement posts it: cleared on success, else the number with the
// driver's detail.  Returns the number.
int32_t PostStatus(const Status& status);

// Someone who wants to hear of every statement on every FILE: the
// framework's file managers run their hooks and catch misuse through it.
// Before() runs before the statement reaches the driver, After() once its
// outcome is posted; after After() returns, the thread's error state is the
// statement's again, whatever the observer did in between.  Both run on the
// thread of the statement, outside the driver's critical section, and may
// run statements themselves.  The destruction of an open FILE is heard as
// Op::Destroy.
class StatementObserver {
 public:
  virtual void Before(DatFileInstance& file, Op op) = 0;
  virtual void After(DatFileInstance& file, Op op, int32_t error) = 0;

 protected:
  ~StatementObserver() = default;
};

// Installs `observer` for the whole process (nullptr: none) and returns the
// one it replaces.  Install it before any thread runs statements; it must
// outlive every statement.
StatementObserver* SetStatementObserver(StatementObserver* observer);

int32_t OPEN(DatFileInstance& file, uint32_t mode = kOpenDefaultMode);
int32_t SHARE(DatFileInstance& file, uint32_t mode = kShareDefaultMode);
// Exclusive: 5 with the file left alone when it exists (then OPEN it).
int32_t CREATE(DatFileInstance& file);
int32_t CLOSE(DatFileInstance& file);

int32_t ADD(DatFileInstance& file);
int32_t ADD(DatFileInstance& file, uint32_t length);
int32_t APPEND(DatFileInstance& file);
int32_t APPEND(DatFileInstance& file, uint32_t length);
int32_t PUT(DatFileInstance& file);
// PUTfileptr(len): the buffer is written over record `record_no`.
int32_t PUT(DatFileInstance& file, uint32_t record_no, uint32_t length = 0);
int32_t DELETE(DatFileInstance& file);

int32_t GET(DatFileInstance& file, uint32_t record_no);         // GETfileptr
int32_t GET(DatFileInstance& file, Key key);                    // GETfilekey
int32_t GET(DatFileInstance& file, Key key, uint32_t ordinal);  // GETkeyptr
int32_t REGET(DatFileInstance& file, std::string_view position);           // REGETfile
int32_t REGET(DatFileInstance& file, Key key, std::string_view position);  // REGETkey

int32_t SET(DatFileInstance& file);                          // SETfile
int32_t SET(DatFileInstance& file, uint32_t record_no);      // SETfileptr
int32_t SET(DatFileInstance& file, Key key, FileOrder);      // SETfilekey
int32_t SET(DatFileInstance& file, Key key);                 // SETkey
int32_t SET(DatFileInstance& file, Key key, Key same);       // SETkeykey
int32_t SET(DatFileInstance& file, Key key, Key same, uint32_t record_no);  // SETkeykeyptr
int32_t SET(DatFileInstance& file, Key key, uint32_t ordinal);  // SETkeyptr
int32_t RESET(DatFileInstance& file, std::string_view position);           // RESETfile
int32_t RESET(DatFileInstance& file, Key key, std::string_view position);  // RESETkey
int32_t NEXT(DatFileInstance& file);
int32_t PREVIOUS(DatFileInstance& file);
int32_t SKIP(DatFileInstance& file, int32_t count);
bool EOF_(DatFileInstance& file);  // EOF is a C macro
bool BOF(DatFileInstance& file);

uint32_t RECORDS(DatFileInstance& file);
uint32_t RECORDS(DatFileInstance& file, Key key);
std::string POSITION(DatFileInstance& file);
std::string POSITION(DatFileInstance& file, Key key);
uint32_t POINTER(DatFileInstance& file);
uint32_t POINTER(DatFileInstance& file, Key key);
bool DUPLICATE(DatFileInstance& file);
bool DUPLICATE(DatFileInstance& file, Key key);

int32_t HOLD(DatFileInstance& file, int32_t seconds = 0);
int32_t RELEASE(DatFileInstance& file);
int32_t WATCH(DatFileInstance& file);
int32_t LOCK(DatFileInstance& file, int32_t seconds = 0);
int32_t UNLOCK(DatFileInstance& file);
// Transactions (transaction.h): LOGOUT marks the FILE logged and opens the
// process's transaction; COMMIT keeps every change of it, ROLLBACK undoes
// every change of it, in every FILE it covers.
int32_t LOGOUT(DatFileInstance& file);
int32_t COMMIT(DatFileInstance& file);
int32_t ROLLBACK(DatFileInstance& file);

int32_t STREAM(DatFileInstance& file);
int32_t FLUSH(DatFileInstance& file);
int32_t NOMEMO(DatFileInstance& file);

int32_t EMPTY(DatFileInstance& file);
int32_t BUILD(DatFileInstance& file);
int32_t BUILD(DatFileInstance& file, Key key);
// A dynamic index over `components` ("ZUN:FIO,ZUN:DATA"); *key names it.
int32_t BUILD(DatFileInstance& file, std::string_view components, Key* key);
// A dynamic index over `components` holding only the records for which the
// expression `filter` (program code page; the FILE's fields named by their
// labels) is true; *key names it.  1010/1011 when the filter does not
// compile.
int32_t BUILD(DatFileInstance& file, std::string_view components,
              std::string_view filter, Key* key);
int32_t PACK(DatFileInstance& file);
int32_t REMOVE(DatFileInstance& file);
int32_t RENAME(DatFileInstance& file, std::string_view new_name);
std::string SEND(DatFileInstance& file, std::string_view message);

// The file-import entry: reads the header and descriptors of the data file
// `name` (empty: the FILE's name) and describes it in *decl
// (file_import.h).  37 on an open FILE.
int32_t IMPORT(DatFileInstance& file, FileDecl* decl, std::string_view name = {});

}  // namespace zuna::datfile

#endif  // ZUNA_RUNTIME_DATFILE_STATEMENTS_H_
