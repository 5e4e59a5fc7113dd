// FileManager: life cycle, opening and closing, UseFile, error recording
// and the file callbacks.  Records are in file_manager_records.cpp, saved
// buffers, file states and keys in file_manager_state.cpp.
#include "framework/data/file_manager.h"

#include <string>
#include <utility>

#include "framework/data/assertion.h"
#include "runtime/datfile/driver.h"
#include "runtime/datfile/status.h"
#include "runtime/values/error_state.h"

namespace zuna::framework {
namespace {

using datfile::Err::kAccessDenied;
using datfile::Err::kFileNotFound;
using datfile::Err::kFileNotOpen;
using datfile::Err::kKeyFileMustBeRebuilt;

// The open answer for a file whose records are limited by its licence; the
// native driver never gives it, an open server may.
constexpr int32_t kRecordLimitExceeded = 94;

// The access bits of an open mode (0: read only).
constexpr uint8_t kAccessBits = 0x03;
// What stays of a mode opened read only: its sharing.
constexpr uint8_t kShareBits = 0xF0;

bool IsAddCode(uint16_t code) {
  return code == FileFunction::kAdd || code == FileFunction::kAppend ||
         code == FileFunction::kAddLen || code == FileFunction::kAppendLen;
}

bool IsPutCode(uint16_t code) {
  return code == FileFunction::kPut || code == FileFunction::kPutPtr ||
         code == FileFunction::kPutPtrLen;
}

}  // namespace

FileManager::FileManager() = default;

FileManager::~FileManager() {
  FileManager::Kill();
  if (registry_ != nullptr && registry_ == ThreadFileUsageRegistry()) {
    registry_->RemoveFileMapping(*this);
  }
}

// --- Life cycle -----------------------------------------------------------

void FileManager::Init() {
  registry_ = ThreadFileUsageRegistry();
  if (registry_ != nullptr) registry_->AddFileMapping(*this);
  Opened = 0;
  LazyOpen = 1;
  Killed = 0;
  UseMRP = 0;
  MRPSize = 10;
}

void FileManager::Init(datfile::DatFileInstance& file, ErrorClass& errors) {
  Errors = &errors;
  File = &file;
  if (AliasedFile != nullptr && AliasedFile->AliasedFile != nullptr) {
    AssertionFailed("Cannot have alias based upon an alias");
  }
  if (Opener != nullptr) Opener->Release();
  Opener = CreateFileOpenServer(file);
  Saved = std::make_unique<std::vector<SavedFileRow>>();
  Buffers = std::make_unique<std::vector<BufferRow>>();
  Fields = std::make_unique<std::vector<FieldRow>>();
  Keys = std::make_unique<std::vector<KeyRow>>();
  HasAutoInc = 0;
  SkipHeldRecords = 0;
  if (!OpenModeOverridden) OpenMode = kDefaultOpenMode;
  Create = 1;
  LockRecover = kDefaultLockRecover;
  PrimaryKey = 0;
  // A name the dictionary gave is the one messages should show ("zun" for
  // the register); the FILE's own name only fills an empty one.
  if (FileNameValue.empty()) FileNameValue = file.name();
  if (Buffer.empty()) Buffer = file.record();
  BuildFields();
  CleanedUp = 0;
  Initialized = 1;
  Killed = 0;
  UseMRP = 0;
  MRPSize = 20;
  RegisterFileCallback(file, &callback_);
}

void FileManager::Kill() {
  if (!Initialized || Killed) return;
  Cleanup();
  if (File != nullptr) UnregisterFileCallback(*File, &callback_);
  Killed = 1;
  Initialized = 0;
}

void FileManager::Cleanup() {
  if (CleanedUp) return;
  Saved.reset();
  Buffers.reset();
  Fields.reset();
  Keys.reset();
  if (Opener != nullptr) {
    Opener->Release();
    Opener = nullptr;
  }
  CleanedUp = 1;
}

bool FileManager::RequireInit() {
  if (Initialized && File != nullptr && Buffers && Keys) return true;
  AssertionFailed("FileManager used before Init");
  return false;
}

std::string FileManager::GetName() const {
  if (!FileName) return FileNameValue;
  std::string name = values::ReadString(*FileName);
  const size_t end = name.find_last_not_of(' ');
  name.erase(end == std::string::npos ? 0 : end + 1);
  return name;
}

// --- Open and close -------------------------------------------------------

uint8_t FileManager::Open() { return OpenServer(1, 0); }

uint8_t FileManager::TryOpen() { return OpenServer(0, 0); }

uint8_t FileManager::OpenServer(uint8_t handle_errors, uint8_t force) {
  if (FileUsageRegistry* registry = ThreadFileUsageRegistry()) {
    registry->NoteOpen(*this);
  }
  BindFields();
  // Physically open already (a record operation opened it before anyone
  // counted it) needs no second open: the open server would count it twice.
  if (force || !(LazyOpen || Opened > 0 || Used)) {
    const uint8_t level = OpenFile(handle_errors);
    if (level != Level::Benign) return level;
  }
  ++Opened;
  return Level::Benign;
}

uint8_t FileManager::OpenFile(uint8_t handle_errors) {
  bool failed = UseFile(UseType::Initialize) != Level::Benign;
  if (!failed && (Opener == nullptr || File == nullptr)) {
    AssertionFailed("FileManager used before Init");
    failed = true;
  }
  for (int attempt = 0; attempt < 2 && !failed; ++attempt) {
    if (FileName) File->set_name(GetName());
    int32_t error = Opener->OpenFile(OpenMode);
    bool recovered = false;
    if (error == kAccessDenied) {
      // Another station may have died holding the file's lock: the driver
      // treats a lock unchanged for this many seconds as abandoned.
      const std::string option = "Recover=" + std::to_string(LockRecover);
      datfile::SEND(*File, option);
      error = Opener->OpenFile(OpenMode);
      recovered = true;
    }
    if (error == 0) {
      Used = 1;
      AtEOF = 0;
      AutoIncDone = 0;
      return Level::Benign;
    }
    if (error == kRecordLimitExceeded || (error == kAccessDenied && recovered)) {
      if ((OpenMode & kAccessBits) == 0) {
        failed = true;
        break;
      }
      OpenMode &= kShareBits;
      Throw(error == kRecordLimitExceeded ? Msg::FileReadOnly
                                          : Msg::WriteDenied);
      continue;
    }
    if (error == kFileNotFound) {
      if (!Create) {
        failed = true;
        break;
      }
      // The driver itself, not CREATE: only its status tells a file that
      // exists from any other refusal.
      const datfile::Status created =
          datfile::Dispatch(datfile::Op::Create, *File, {}, nullptr);
      datfile::PostStatus(created);
      // Two stations that both found the file missing race to create it;
      // the loser's exclusive create finds it taken and opens the winner's.
      if (created.ok() || created.IsAlreadyExists()) continue;
      SetError(Msg::CreateFailed);
      return handle_errors ? Throw() : Level::Notify;
    }
    if (error == kKeyFileMustBeRebuilt) {
      SetError(Msg::KeyCorrupt);
      if (!handle_errors) return Level::Notify;
      Throw();
      const int32_t built = datfile::BUILD(*File);
      if (built != 0) return Throw(Msg::KeyRebuildFailed);
      continue;
    }
    failed = true;
  }
  SetError(Msg::OpenFailed);
  return handle_errors ? Throw() : Level::Notify;
}

uint8_t FileManager::Close() {
  ++InClose;
  if (FileUsageRegistry* registry = ThreadFileUsageRegistry()) {
    registry->NoteClose(*this);
  }
  if (UseMRP) {
    UseMRP = 0;
    driver_mrp_size_ = 0;
  }
  if (Opened > 0) {
    --Opened;
    // Only a file this manager opened is closed: a lazy file never opened
    // has nothing to close, and asking a shared open server to close it
    // would close another thread's open.
    if (Opened == 0 && Used) {
      if (Initialized && Opener != nullptr) Opener->CloseFile();
      Used = 0;
    }
  }
  --InClose;
  return Level::Benign;
}

uint8_t FileManager::UseFile(uint8_t use_type) {
  InUseFile = 1;
  uint8_t level = Level::Benign;
  if (use_type == UseType::Initialize) {
    if (LazyOpen && Opened == 0) {
      if (!Used) {
        // Counted once around the open so that OpenFile's own
        // UseFile(Initialize) does not open again; OpenServer counts the
        // open, and the net effect is one count for an open file.
        ++Opened;
        level = OpenServer(1, 1);
        --Opened;
      } else {
        level = OpenServer(1, 0);
      }
    }
  } else {
    if (use_type != UseType::Benign) {
      if (FileUsageRegistry* registry = ThreadFileUsageRegistry()) {
        registry->NoteUsage(*this, use_type);
      }
    }
    if (LazyOpen && !Used) {
      if (Opened < 1) {
        level = Throw(Msg::FileNotOpen);
      } else if (Buffers) {
        // The caller's record (key values for a fetch, a record being
        // built) must survive the open and whatever runs inside it.
        int32_t saved = SaveBuffer();
        level = OpenFile(1);
        RestoreBuffer(saved, 1);
      } else {
        level = OpenFile(1);
      }
    }
  }
  InUseFile = 0;
  return level;
}

// --- Errors ---------------------------------------------------------------

void FileManager::SetError(uint16_t id) {
  if (Errors != nullptr) Errors->SetErrors();
  LastError = id;
}

uint8_t FileManager::Throw() {
  if (Errors == nullptr) {
    AssertionFailed("FileManager used before Init");
    return Level::Notify;
  }
  Errors->SetFile(GetName());
  return Errors->TakeError(LastError);
}

uint8_t FileManager::Throw(uint16_t id) {
  SetError(id);
  return Throw();
}

uint8_t FileManager::ThrowMessage(uint16_t id, std::string_view text) {
  if (Errors == nullptr) {
    AssertionFailed("FileManager used before Init");
    return Level::Notify;
  }
  Errors->SetFile(GetName());
  return Errors->ThrowMessage(id, text);
}

// --- File callbacks -------------------------------------------------------

void FileManager::Callback::FunctionCalled(uint16_t code) {
  owner_.CallbackCalled(code);
}

void FileManager::Callback::FunctionDone(uint16_t code, int32_t error) {
  owner_.CallbackDone(code, error);
}

void FileManager::CallbackCalled(uint16_t code) {
  if (InCallback) return;
  InCallback = 1;
  if (IsAddCode(code)) {
    PreInsert();
  } else if (IsPutCode(code)) {
    PreUpdate();
  } else if (code == FileFunction::kDelete) {
    PreDelete();
  }
  FunctionCalled(code);
  InCallback = 0;
}

void FileManager::CallbackDone(uint16_t code, int32_t error) {
  if (InCallback) return;
  InCallback = 1;
  if (IsAddCode(code)) {
    PostInsert();
  } else if (IsPutCode(code)) {
    PostUpdate();
  } else if (code == FileFunction::kDelete) {
    PostDelete();
  }
  if (code == FileFunction::kClose) {
    if (InRestore) {
      // Restoring a state saved while the file was closed closes it: the
      // manager's counts follow.
      Opened = 0;
      Used = 0;
      Close();
    } else if (InClose == 0 && Opened > 0 && File != nullptr &&
               File->declaration().thread) {
      AssertionFailed("You are calling CLOSE(" + GetName() +
                      ") instead of FileManager.Close()");
      // The FILE is closed whatever the manager thought; the next record
      // operation opens it again.
      if (error == 0) Used = 0;
    }
  } else if (code == FileFunction::kDestroy) {
    if (Used) {
      AssertionFailed("You have not called FileManager.Close() for " +
                      GetName());
    } else {
      Cleanup();
    }
  } else if (code != FileFunction::kGetNulls &&
             code != FileFunction::kSetNulls && error == kFileNotOpen) {
    AssertionFailed("You have not called FileManager.UseFile() for " +
                    GetName());
  }
  FunctionDone(code, error);
  InCallback = 0;
}

}  // namespace zuna::framework
