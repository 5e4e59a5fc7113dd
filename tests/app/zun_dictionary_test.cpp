#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <thread>

#include "app/globals.h"
#include "app/zun_dictionary.h"
#include "app/zunabc.h"
#include "app/zunabc0.h"
#include "framework/data/error_table.h"
#include "framework/data/files_manager.h"
#include "framework/data/scripted_host.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/error_state.h"
#include "tests/support/temp_dir.h"

namespace zuna::app {
namespace {

namespace Level = framework::Level;
namespace UseType = framework::UseType;

// The program's set-up for thread 1 in a directory of the test's own:
// ZUN is opened under its label in the current directory.
class ZunDictionaryTest : public ::testing::Test {
 protected:
  ZunDictionaryTest() : installed_(host_) {
    host_.ThreadNumber();  // this thread is thread 1
    GlobalErrors.Init(GlobalErrorStatus);
    EXPECT_EQ(::getcwd(previous_dir_, sizeof previous_dir_), previous_dir_);
    EXPECT_EQ(::chdir(dir_.path().c_str()), 0);
    ZUNABC::DctInit();
  }
  ~ZunDictionaryTest() override {
    ZUNABC::DctKill();
    if (ZUN().is_open()) datfile::CLOSE(ZUN());
    EXPECT_EQ(::chdir(previous_dir_), 0);
    GlobalErrors.Kill();
    values::ClearError();
  }

  // Writes `record` as a new record of ZUN through the thread's FILE.
  static void AddDirect(const ZUN_Record& record) {
    WriteZunRecord(record, ZUN().record());
    ASSERT_EQ(datfile::ADD(ZUN()), 0) << values::ERROR();
  }

  framework::ScriptedHost host_;
  framework::ScopedHost installed_;
  zuna::testing::TempDir dir_;
  char previous_dir_[4096] = {};
};

TEST_F(ZunDictionaryTest, DctInitLeavesTheFileManagerLightUntilItsFirstUse) {
  ASSERT_NE(Relate_ZUN, nullptr);
  ASSERT_NE(Access_ZUN, nullptr);
  EXPECT_EQ(Relate_ZUN->Me, Access_ZUN);
  EXPECT_EQ(Relate_ZUN->UseLogout, 1);
  EXPECT_EQ(Relate_ZUN->LogoutTimeout, 2);
  EXPECT_EQ(Access_ZUN->FileNameValue, "zun");
  EXPECT_EQ(Access_ZUN->File, &ZUN());
  EXPECT_EQ(Access_ZUN->Buffer.size(), sizeof(ZUN_Record));
  EXPECT_FALSE(Access_ZUN->Initialized);
  EXPECT_EQ(Access_ZUN->Keys, nullptr);
  EXPECT_EQ(framework::ThreadFilesManager().GetFileMapping(
                framework::FilesManager::GetFileID(ZUN())),
            Access_ZUN);
  EXPECT_EQ(framework::ThreadFilesManager().GetRelationFileMapping(
                framework::FilesManager::GetFileID(ZUN())),
            Relate_ZUN);
}

TEST_F(ZunDictionaryTest, TheFirstUseRegistersBothKeysOnceAndTheSecondNothingMore) {
  Access_ZUN->UseFile(UseType::Initialize);
  ASSERT_TRUE(Access_ZUN->Initialized);
  ASSERT_NE(Access_ZUN->Keys, nullptr);
  ASSERT_EQ(Access_ZUN->Keys->size(), 2u);
  EXPECT_EQ((*Access_ZUN->Keys)[0].Description, "ZUN:zun_key");
  EXPECT_EQ((*Access_ZUN->Keys)[1].Description, "ZUN:key2");
  EXPECT_EQ(Access_ZUN->Create, 1);
  EXPECT_EQ(Access_ZUN->LockRecover, 10);
  EXPECT_EQ(Access_ZUN->KeyToOrder(datfile::Key{kKey2Index}), "+UPPER(ZUN:FIO)");
  Access_ZUN->UseFile(UseType::Initialize);
  EXPECT_EQ(Access_ZUN->Keys->size(), 2u);
  // The name the messages show is still the dictionary's.
  EXPECT_EQ(Access_ZUN->GetName(), "zun");
}

TEST_F(ZunDictionaryTest, OpeningTheRelationManagerCreatesAndOpensTheFileAtOnce) {
  ASSERT_EQ(Relate_ZUN->Open(0), Level::Benign);
  EXPECT_TRUE(ZUN().is_open());
  EXPECT_EQ(::access("ZUN.DAT", F_OK), 0);
  ASSERT_EQ(Relate_ZUN->Open(0), Level::Benign);
  EXPECT_EQ(Relate_ZUN->Close(0), Level::Benign);
  EXPECT_TRUE(ZUN().is_open());
  EXPECT_EQ(Relate_ZUN->Close(0), Level::Benign);
  EXPECT_FALSE(ZUN().is_open());
  EXPECT_TRUE(host_.Messages().empty());
}

TEST_F(ZunDictionaryTest, PeopleSharingANameOrABirthDateAreAllStoredAndListed) {
  ASSERT_EQ(Relate_ZUN->Open(0), Level::Benign);
  const ZUN_Record people[] = {MakeZunRecord("Petrov", 1000),
                               MakeZunRecord("PETROV", 2000),
                               MakeZunRecord("Ivanov", 1000)};
  for (const ZUN_Record& person : people) {
    WriteZunRecord(person, Access_ZUN->Buffer);
    ASSERT_EQ(Access_ZUN->Insert(), Level::Benign);
  }
  EXPECT_EQ(datfile::RECORDS(ZUN()), 3u);
  EXPECT_EQ(datfile::RECORDS(ZUN(), datfile::Key{kZunKeyIndex}), 3u);
  EXPECT_EQ(datfile::RECORDS(ZUN(), datfile::Key{kKey2Index}), 3u);
  // Both spellings of one name meet in the case-blind name key.
  WriteZunRecord(MakeZunRecord("petrov", 0), Access_ZUN->Buffer);
  ASSERT_EQ(datfile::SET(ZUN(), datfile::Key{kKey2Index}), 0);
  int petrovs = 0;
  while (Access_ZUN->TryNext() == Level::Benign) {
    if (ZunName(ReadZunRecord(Access_ZUN->Buffer)) != "Ivanov") ++petrovs;
  }
  EXPECT_EQ(petrovs, 2);
  EXPECT_EQ(Relate_ZUN->Close(0), Level::Benign);
}

TEST_F(ZunDictionaryTest, AChangeThroughTheRelationManagerKeepsData1AsItWasInTheFile) {
  ASSERT_EQ(Relate_ZUN->Open(0), Level::Benign);
  AddDirect(MakeZunRecord("Sidorov", 5000, 424242));
  ASSERT_EQ(datfile::GET(ZUN(), 1u), 0);
  ZUN_Record record = ReadZunRecord(Access_ZUN->Buffer);
  ASSERT_EQ(record.DATA1, 424242);
  record = MakeZunRecord("Sidorova", 5001, record.DATA1);
  WriteZunRecord(record, Access_ZUN->Buffer);
  ASSERT_EQ(Relate_ZUN->Update(1), Level::Benign);
  EXPECT_EQ(Relate_ZUN->Close(0), Level::Benign);
  // The change was framed in a transaction, and it was committed.
  EXPECT_NE(::access("ZUN.LOG", F_OK), 0);

  ASSERT_EQ(datfile::OPEN(ZUN(), 0x42), 0);
  ASSERT_EQ(datfile::GET(ZUN(), 1u), 0);
  const ZUN_Record stored = ReadZunRecord(ZUN().record());
  EXPECT_EQ(ZunName(stored), "Sidorova");
  EXPECT_EQ(stored.DATA, 5001);
  EXPECT_EQ(stored.DATA1, 424242);
  EXPECT_EQ(datfile::CLOSE(ZUN()), 0);
}

TEST_F(ZunDictionaryTest, EveryOtherThreadGetsItsOwnManagersFromItsDictionary) {
  framework::FileManager* main_access = Access_ZUN;
  framework::FileManager* thread_access = nullptr;
  bool cleared_at_end = false;
  std::thread worker([&] {
    EXPECT_EQ(Access_ZUN, nullptr);
    StartThreadDictionary();
    thread_access = Access_ZUN;
    EXPECT_NE(Relate_ZUN, nullptr);
    if (Relate_ZUN != nullptr) {
      EXPECT_EQ(Relate_ZUN->Open(0), Level::Benign);
      WriteZunRecord(MakeZunRecord("Worker", 77), Access_ZUN->Buffer);
      EXPECT_EQ(Access_ZUN->Insert(), Level::Benign);
      EXPECT_EQ(Relate_ZUN->Close(0), Level::Benign);
    }
    EndThreadDictionary();
    cleared_at_end = Access_ZUN == nullptr && Relate_ZUN == nullptr;
  });
  worker.join();
  EXPECT_NE(thread_access, nullptr);
  EXPECT_NE(thread_access, main_access);
  EXPECT_TRUE(cleared_at_end);
  EXPECT_EQ(Access_ZUN, main_access);
  ASSERT_EQ(datfile::OPEN(ZUN(), 0x42), 0);
  EXPECT_EQ(datfile::RECORDS(ZUN()), 1u);
  EXPECT_EQ(datfile::CLOSE(ZUN()), 0);
}

TEST_F(ZunDictionaryTest, TheDictionaryOfThreadOneLeavesTheSetUpToTheProgram) {
  ZUNABC::DctKill();
  ASSERT_EQ(Access_ZUN, nullptr);
  {
    Dictionary dictionary;  // on thread 1: nothing
    EXPECT_EQ(Access_ZUN, nullptr);
    EXPECT_EQ(Relate_ZUN, nullptr);
  }
  ZUNABC::DctInit();
  EXPECT_NE(Relate_ZUN, nullptr);
}

}  // namespace
}  // namespace zuna::app
