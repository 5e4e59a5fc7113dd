#include "framework/data/file_open_server.h"

#include <gtest/gtest.h>

#include <barrier>
#include <thread>
#include <vector>

#include "runtime/datfile/statements.h"
#include "runtime/values/error_state.h"
#include "tests/framework/data/file_manager_fixture.h"
#include "tests/support/temp_dir.h"

namespace zuna::framework::test {
namespace {

// ZUN without THREAD: one FILE object for the whole process.
FileDecl SharedZun() {
  FileDecl decl = zuna::testing::ZunDeclaration();
  decl.thread = false;
  return decl;
}

class FileOpenServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = std::make_unique<DatFileInstance>(SharedZun());
    file_->set_name(dir_.File("ZUN"));
    ASSERT_EQ(datfile::CREATE(*file_), 0) << values::ERROR();
  }
  zuna::testing::TempDir dir_;
  std::unique_ptr<DatFileInstance> file_;
};

TEST_F(FileOpenServerTest, ThreadedServersAreOwnedByTheirUser) {
  auto threaded =
      std::make_unique<DatFileInstance>(zuna::testing::ZunDeclaration());
  threaded->set_name(dir_.File("ZUN"));
  IFileOpenServer* a = CreateFileOpenServer(*threaded);
  IFileOpenServer* b = CreateFileOpenServer(*threaded);
  EXPECT_NE(a, b);
  EXPECT_EQ(UnthreadedFileOpenServerCount(), 0u);
  EXPECT_EQ(a->OpenFile(0x42), 0);
  EXPECT_EQ(b->OpenFile(0x42), 0);  // already open counts as success
  EXPECT_EQ(a->CloseFile(), 0);
  EXPECT_FALSE(threaded->is_open());
  a->Release();
  b->Release();
}

TEST_F(FileOpenServerTest, UnthreadedServerIsSharedAndCountsPhysicalOpens) {
  IFileOpenServer* first = CreateFileOpenServer(*file_);
  IFileOpenServer* second = CreateFileOpenServer(*file_);
  EXPECT_EQ(first, second);
  EXPECT_EQ(UnthreadedFileOpenServerCount(), 1u);
  auto* server = static_cast<UnthreadedFileOpenServer*>(first);

  EXPECT_EQ(first->OpenFile(0x42), 0);
  EXPECT_EQ(second->OpenFile(0x42), 0);
  EXPECT_EQ(server->FileUsageCount(), 2);
  EXPECT_TRUE(file_->is_open());
  EXPECT_EQ(first->CloseFile(), 0);
  EXPECT_TRUE(file_->is_open());  // the other user still has it
  EXPECT_EQ(second->CloseFile(), 0);
  EXPECT_FALSE(file_->is_open());
  EXPECT_EQ(server->FileUsageCount(), 0);

  second->Release();
  EXPECT_EQ(UnthreadedFileOpenServerCount(), 1u);
  first->Release();  // the last user
  EXPECT_EQ(UnthreadedFileOpenServerCount(), 0u);
}

TEST_F(FileOpenServerTest, FailedOpenLeavesTheCountAtZero) {
  auto missing = std::make_unique<DatFileInstance>(SharedZun());
  missing->set_name(dir_.File("NONE"));
  IFileOpenServer* server = CreateFileOpenServer(*missing);
  EXPECT_EQ(server->OpenFile(0x42), 2);
  EXPECT_EQ(static_cast<UnthreadedFileOpenServer*>(server)->FileUsageCount(),
            0);
  server->Release();
  EXPECT_EQ(UnthreadedFileOpenServerCount(), 0u);
}

TEST_F(FileOpenServerTest, ThreadsOpenTheSharedFileOnceAndTheLastClosesIt) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 50;
  std::barrier start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      start.arrive_and_wait();
      for (int i = 0; i < kRounds; ++i) {
        IFileOpenServer* server = CreateFileOpenServer(*file_);
        EXPECT_EQ(server->OpenFile(0x42), 0);
        EXPECT_TRUE(file_->is_open());
        EXPECT_EQ(server->CloseFile(), 0);
        server->Release();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_FALSE(file_->is_open());
  EXPECT_EQ(UnthreadedFileOpenServerCount(), 0u);
}

}  // namespace
}  // namespace zuna::framework::test
