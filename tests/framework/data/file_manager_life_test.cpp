// The file manager's life cycle: what it tells the thread's files registry,
// Init and Kill, aliases, and one manager per thread on a THREAD file.
#include <gtest/gtest.h>

#include <barrier>
#include <string>
#include <thread>
#include <vector>

#include "framework/data/file_usage_registry.h"
#include "tests/framework/data/file_manager_fixture.h"

namespace zuna::framework::test {
namespace {

// Records what the managers tell it.
class RecordingRegistry final : public FileUsageRegistry {
 public:
  void AddFileMapping(FileManager&) override { events.push_back("add"); }
  void RemoveFileMapping(FileManager&) override { events.push_back("remove"); }
  void NoteOpen(FileManager&) override { events.push_back("open"); }
  void NoteClose(FileManager&) override { events.push_back("close"); }
  void NoteUsage(FileManager&, uint8_t use_type) override {
    events.push_back("use " + std::to_string(use_type));
  }
  std::vector<std::string> events;
};

class FileManagerLifeTest : public FileManagerTest {};

TEST_F(FileManagerLifeTest, TheThreadsRegistryHearsOfMappingOpensUsesAndCloses) {
  RecordingRegistry registry;
  ASSERT_EQ(SetThreadFileUsageRegistry(&registry), nullptr);
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*zun, {});
  {
    DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
    access.Init();
    access.Open();
    access.UseFile(UseType::Return);
    access.UseFile(UseType::Benign);  // not noted
    access.Close();
  }
  SetThreadFileUsageRegistry(nullptr);
  EXPECT_EQ(registry.events,
            (std::vector<std::string>{"add", "open", "use 3", "close",
                                      "remove"}));
}

TEST_F(FileManagerLifeTest, InitSetsTheDefaultsAndKeepsTheDictionarysName) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.Init();
  EXPECT_EQ(access.MRPSize, 10);
  EXPECT_EQ(access.LazyOpen, 1);
  EXPECT_EQ(access.Initialized, 0);
  access.OpenMode = 0x22;
  access.Init(*zun, errors_);
  EXPECT_EQ(access.MRPSize, 20);
  EXPECT_EQ(access.OpenMode, kDefaultOpenMode);
  EXPECT_EQ(access.LockRecover, 10);
  EXPECT_EQ(access.Create, 1);
  EXPECT_EQ(access.GetName(), "zun");
  EXPECT_EQ(access.Buffer.data(), zun->record().data());
  access.Kill();
  EXPECT_EQ(access.Keys, nullptr);
  EXPECT_EQ(access.Opener, nullptr);

  // Without a name from the dictionary the FILE's own name is shown.
  FileManager plain;
  plain.OpenMode = 0x22;
  plain.OpenModeOverridden = 1;
  plain.Init(*zun, errors_);
  EXPECT_EQ(plain.GetName(), zun->name());
  EXPECT_EQ(plain.OpenMode, 0x22);
}

TEST_F(FileManagerLifeTest, AnAliasOfAnAliasAsserts) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  FileManager base, alias, alias_of_alias;
  alias.AliasedFile = &base;
  alias_of_alias.AliasedFile = &alias;
  alias.Init(*zun, errors_);
  EXPECT_TRUE(host_.Assertions().empty());
  alias_of_alias.Init(*zun, errors_);
  ASSERT_EQ(host_.Assertions().size(), 1u);
  EXPECT_EQ(host_.Assertions()[0].rfind("Cannot have alias based upon an alias",
                                        0),
            0u);
}

TEST_F(FileManagerLifeTest, AnAliasValidatesThroughTheAliasedManager) {
  class Checked : public FileManager {
   public:
    uint8_t ValidateFieldServer(int32_t id, uint8_t) override {
      // Field 1 must not start with '!'.
      return (id == 1 && Buffer[0] == '!') ? Level::Notify : Level::Benign;
    }
  };
  auto people = MakeFile(PeopleDeclaration());
  auto alias_file = MakeFile(PeopleDeclaration());
  Checked base;
  base.Init(*people, errors_);
  FileManager alias;
  alias.AliasedFile = &base;
  alias.Init(*alias_file, errors_);
  SetRecord(*people, PeopleRecord("Base own", 1));
  SetRecord(*alias_file, PeopleRecord("!bad", 2));
  int32_t failed = 0;
  EXPECT_EQ(alias.ValidateRecord(&failed), Level::Notify);
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(TextAt(people->record(), 0, 20), "Base own");  // given back
  SetRecord(*alias_file, PeopleRecord("good", 2));
  EXPECT_EQ(alias.ValidateRecord(&failed), Level::Benign);
  EXPECT_EQ(alias.TryValidateField(1), Level::Benign);
}

TEST_F(FileManagerLifeTest, EachThreadsManagerWorksOnItsOwnFileInstance) {
  auto setup = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*setup, {});
  constexpr int kThreads = 2;
  constexpr int kRecords = 40;
  std::barrier start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      auto zun = MakeFile(zuna::testing::ZunDeclaration());
      DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
      access.Init();
      ASSERT_EQ(access.Open(), Level::Benign);
      start.arrive_and_wait();
      for (int i = 0; i < kRecords; ++i) {
        EXPECT_EQ(access.PrimeRecord(), Level::Benign);
        SetRecord(*zun, zuna::testing::ZunRecord(
                            "T" + std::to_string(t) + "-" + std::to_string(i),
                            70000 + i, t));
        EXPECT_EQ(access.Insert(), Level::Benign);
      }
      // Each manager heard only its own thread's adds.
      EXPECT_EQ(access.pre_insert, kRecords);
      access.Close();
      EXPECT_FALSE(zun->is_open());
    });
  }
  for (std::thread& thread : threads) thread.join();
  ASSERT_EQ(datfile::OPEN(*setup, 0x42), 0);
  EXPECT_EQ(datfile::RECORDS(*setup), static_cast<uint32_t>(kThreads * kRecords));
  EXPECT_EQ(datfile::CLOSE(*setup), 0);
  EXPECT_TRUE(host_.MessageBoxes().empty());
}

// A per-thread dictionary is made before the thread's callback registry,
// so it is destroyed after it, at thread exit: its managers' Kill must find
// the registry gone, not use it.
TEST_F(FileManagerLifeTest, ManagersDestroyedAtThreadExitOutliveTheRegistry) {
  auto setup = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*setup, {});
  struct PerThread {
    std::unique_ptr<DatFileInstance> file;
    std::unique_ptr<DictionaryAccess> access;
    ~PerThread() {
      access.reset();
      file.reset();
    }
  };
  std::thread([&] {
    thread_local PerThread per_thread;
    per_thread.file = MakeFile(zuna::testing::ZunDeclaration());
    per_thread.access = std::make_unique<DictionaryAccess>(
        *per_thread.file, errors_, ZunKeys(), "zun");
    per_thread.access->Init();
    EXPECT_EQ(per_thread.access->Open(), Level::Benign);
    EXPECT_EQ(per_thread.access->UseFile(UseType::Use), Level::Benign);
    per_thread.access->Close();
  }).join();
  EXPECT_TRUE(host_.MessageBoxes().empty());
}

}  // namespace
}  // namespace zuna::framework::test
