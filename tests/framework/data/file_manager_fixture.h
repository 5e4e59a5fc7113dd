// What the file manager tests share: a dictionary-style manager (the
// overrides a dictionary gives its file managers), a file open server that
// answers chosen errors first, small declarations of our own (a unique key,
// an auto-numbered key) and a fixture with a scripted host, an error
// manager and a temporary directory.
#ifndef ZUNA_TESTS_FRAMEWORK_DATA_FILE_MANAGER_FIXTURE_H_
#define ZUNA_TESTS_FRAMEWORK_DATA_FILE_MANAGER_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/data/error_manager.h"
#include "framework/data/file_manager.h"
#include "framework/data/scripted_host.h"
#include "runtime/datfile/coding.h"
#include "runtime/datfile/declaration.h"
#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/code_page.h"
#include "runtime/values/error_state.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zun_declaration.h"

namespace zuna::framework::test {

using datfile::DatFileInstance;
using datfile::FieldDecl;
using datfile::FieldType;
using datfile::FileDecl;
using datfile::Key;
using datfile::KeyDecl;

inline FieldDecl MakeField(std::string label, FieldType type, uint16_t offset,
                           uint16_t size) {
  FieldDecl field;
  field.label = std::move(label);
  field.type = type;
  field.offset = offset;
  field.size = size;
  return field;
}

inline KeyDecl MakeKey(std::string label, std::vector<uint16_t> fields,
                       bool dup, bool nocase) {
  KeyDecl key;
  key.label = std::move(label);
  for (uint16_t f : fields) key.components.push_back({f});
  key.duplicates = dup;
  key.nocase = nocase;
  return key;
}

// PPL: THREAD, CREATE.  Record, 24 bytes:
//   1 PPL:Name  STRING(20)  offset 0
//   2 PPL:Born  LONG        offset 20
// Keys: 1 PPL:NameKey (PPL:Name) unique, NOCASE; 2 PPL:BornKey (PPL:Born) DUP.
inline FileDecl PeopleDeclaration() {
  FileDecl file;
  file.label = "PPL";
  file.record_length = 24;
  file.fields = {MakeField("PPL:Name", FieldType::kString, 0, 20),
                 MakeField("PPL:Born", FieldType::kLong, 20, 4)};
  file.keys = {MakeKey("PPL:NameKey", {0}, false, true),
               MakeKey("PPL:BornKey", {1}, true, false)};
  file.create = true;
  file.thread = true;
  return file;
}

inline std::string PeopleRecord(std::string_view name, int32_t born) {
  std::string record(24, ' ');
  record.replace(0, std::min<size_t>(name.size(), 20), name.substr(0, 20));
  datfile::EncodeFixed32(record.data() + 20, static_cast<uint32_t>(born));
  return record;
}

// ORD: THREAD, CREATE.  Record, 18 bytes:
//   1 ORD:Customer  LONG       offset 0
//   2 ORD:Number    LONG       offset 4   (auto-numbered within a customer)
//   3 ORD:Item      STRING(10) offset 8
// Keys: 1 ORD:NumKey (ORD:Customer, ORD:Number) unique;
//       2 ORD:ItemKey (ORD:Item) unique.
inline FileDecl OrderDeclaration() {
  FileDecl file;
  file.label = "ORD";
  file.record_length = 18;
  file.fields = {MakeField("ORD:Customer", FieldType::kLong, 0, 4),
                 MakeField("ORD:Number", FieldType::kLong, 4, 4),
                 MakeField("ORD:Item", FieldType::kString, 8, 10)};
  file.keys = {MakeKey("ORD:NumKey", {0, 1}, false, false),
               MakeKey("ORD:ItemKey", {2}, false, false)};
  file.create = true;
  file.thread = true;
  return file;
}

// A record buffer's LONG at `offset`, and a text field without its blanks.
inline int32_t LongAt(std::span<const char> buffer, size_t offset) {
  return static_cast<int32_t>(datfile::DecodeFixed32(buffer.data() + offset));
}
inline void SetLongAt(std::span<char> buffer, size_t offset, int32_t value) {
  datfile::EncodeFixed32(buffer.data() + offset, static_cast<uint32_t>(value));
}
inline std::string TextAt(std::span<const char> buffer, size_t offset,
                          size_t size) {
  std::string text(buffer.data() + offset, size);
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}
inline void SetTextAt(std::span<char> buffer, size_t offset, size_t size,
                      std::string_view text) {
  std::memset(buffer.data() + offset, ' ', size);
  std::memcpy(buffer.data() + offset, text.data(),
              std::min(size, text.size()));
}
inline void SetRecord(DatFileInstance& file, std::string_view image) {
  std::memcpy(file.record().data(), image.data(),
              std::min(file.record().size(), image.size()));
}

// An open server that answers the scripted error numbers first, then
// passes every call on to the real one it wraps; counts the opens.
class ScriptedOpener final : public IFileOpenServer {
 public:
  explicit ScriptedOpener(IFileOpenServer* real) : real_(real) {}
  int32_t OpenFile(uint32_t mode) override {
    modes.push_back(mode);
    if (!answers.empty()) {
      const int32_t answer = answers.front();
      answers.pop_front();
      values::PostFileError(answer, std::to_string(answer), "scripted");
      return answer;
    }
    return real_->OpenFile(mode);
  }
  int32_t CloseFile() override { return real_->CloseFile(); }
  void Link() override { real_->Link(); }
  void Release() override {
    real_->Release();
    delete this;
  }

  std::deque<int32_t> answers;
  std::vector<uint32_t> modes;  // the mode of every open asked

 private:
  ~ScriptedOpener() override = default;
  IFileOpenServer* real_;
};

// A file manager as a dictionary derives it: Init sets the buffer, the
// name shown in messages, the error manager and the FILE; UseFile runs the
// full Init on first use and adds the keys.
class DictionaryAccess : public FileManager {
 public:
  struct KeyEntry {
    Key key;
    std::string description;
    uint8_t auto_inc = 0;
  };

  DictionaryAccess(DatFileInstance& file, ErrorClass& errors,
                   std::vector<KeyEntry> keys, std::string name)
      : file_(file), errors_(errors), keys_(std::move(keys)),
        name_(std::move(name)) {}

  using FileManager::Init;
  using FileManager::Throw;

  void Init() override {
    Initialized = 0;
    Buffer = file_.record();
    FileNameValue = name_;
    SetErrors(errors_);
    File = &file_;
    FileManager::Init();
  }

  uint8_t UseFile(uint8_t use_type) override {
    if (use_type != UseType::Initialize) {
      UseFile(UseType::Initialize);
    } else if (!Initialized) {
      InUseFile = 1;
      Init(file_, errors_);
      Create = create;
      LockRecover = kDefaultLockRecover;
      for (const KeyEntry& entry : keys_) {
        AddKey(entry.key, entry.description, entry.auto_inc);
      }
      if (scripted_answers.size() > 0 || script_opener) {
        auto* opener = new ScriptedOpener(Opener);
        opener->answers.assign(scripted_answers.begin(),
                               scripted_answers.end());
        Opener = opener;
        scripted = opener;
      }
    }
    return FileManager::UseFile(use_type);
  }

  // Hooks, counted.
  void PreInsert() override { ++pre_insert; }
  void PostInsert() override { ++post_insert; }
  void PreUpdate() override { ++pre_update; }
  void PostUpdate() override { ++post_update; }
  void PreDelete() override { ++pre_delete; }
  void PostDelete() override { ++post_delete; }
  void FunctionDone(uint16_t code, int32_t error) override {
    done.emplace_back(code, error);
    if (code == FileFunction::kOpen && scribble_on_open) {
      std::memset(Buffer.data(), '#', Buffer.size());
    }
  }

  // Settings for the first UseFile.
  uint8_t create = 1;
  std::vector<int32_t> scripted_answers;  // the open server's first answers
  bool script_opener = false;             // wrap the server even without
  ScriptedOpener* scripted = nullptr;     // the wrapper, once made
  bool scribble_on_open = false;          // spoil the buffer after an open

  int pre_insert = 0, post_insert = 0, pre_update = 0, post_update = 0,
      pre_delete = 0, post_delete = 0;
  std::vector<std::pair<uint16_t, int32_t>> done;

 private:
  DatFileInstance& file_;
  ErrorClass& errors_;
  std::vector<KeyEntry> keys_;
  std::string name_;
};

class FileManagerTest : public ::testing::Test {
 protected:
  FileManagerTest() : installed_(host_) {
    values::ClearError();
    errors_.Init(status_);
  }
  ~FileManagerTest() override { values::ClearError(); }

  // A FILE of `decl` named after its label inside the test's directory.
  std::unique_ptr<DatFileInstance> MakeFile(const FileDecl& decl) {
    auto file = std::make_unique<DatFileInstance>(decl);
    file->set_name(dir_.File(decl.label));
    return file;
  }

  // Creates the files of `file` on disk and adds `records`, then closes.
  void CreateWith(DatFileInstance& file,
                  const std::vector<std::string>& records) {
    ASSERT_EQ(datfile::CREATE(file), 0) << values::ERROR();
    ASSERT_EQ(datfile::OPEN(file, 0x42), 0) << values::ERROR();
    for (const std::string& record : records) {
      SetRecord(file, record);
      ASSERT_EQ(datfile::ADD(file), 0) << values::ERROR();
    }
    ASSERT_EQ(datfile::CLOSE(file), 0);
  }

  // The messages shown that are not assertion reports.
  std::vector<ScriptedHost::ShownBox> Shown() const {
    return host_.Messages();
  }

  ScriptedHost host_;
  ScopedHost installed_;
  ErrorStatusClass status_;
  ErrorClass errors_;
  zuna::testing::TempDir dir_;
};

// The register's managers: ZUN with its two keys as the dictionary adds them.
inline std::vector<DictionaryAccess::KeyEntry> ZunKeys() {
  return {{Key{0}, "ZUN:zun_key", 0}, {Key{1}, "ZUN:key2", 0}};
}
inline std::vector<DictionaryAccess::KeyEntry> PeopleKeys() {
  return {{Key{0}, "PPL:NameKey", 0}, {Key{1}, "PPL:BornKey", 0}};
}
inline std::vector<DictionaryAccess::KeyEntry> OrderKeys() {
  return {{Key{0}, "ORD:NumKey", 1}, {Key{1}, "ORD:ItemKey", 0}};
}

}  // namespace zuna::framework::test

#endif  // ZUNA_TESTS_FRAMEWORK_DATA_FILE_MANAGER_FIXTURE_H_
