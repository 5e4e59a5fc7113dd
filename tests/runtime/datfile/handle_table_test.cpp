#include "runtime/datfile/handle_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <thread>
#include <vector>

namespace zuna::datfile {
namespace {

TEST(HandleTableTest, NamesAreFoundWhileRegistered) {
  HandleTable table;
  const FileHandle data = table.Register("/data/ZUN.DAT");
  const FileHandle key = table.Register("/data/ZUN.K01");
  EXPECT_NE(data, kNoFileHandle);
  EXPECT_NE(data, key);
  EXPECT_EQ(table.Lookup(data), "/data/ZUN.DAT");
  EXPECT_EQ(table.Lookup(key), "/data/ZUN.K01");
  EXPECT_EQ(table.size(), 2u);

  table.Unregister(data);
  EXPECT_FALSE(table.Lookup(data).has_value());
  EXPECT_EQ(table.Lookup(key), "/data/ZUN.K01");
  table.Unregister(data);  // twice: ignored
  EXPECT_FALSE(table.Lookup(kNoFileHandle).has_value());
}

// A handle is never handed out twice in a process, by any table: a log
// holding a closed file's handle must find nothing, not a newer file.
TEST(HandleTableTest, HandlesAreNeverReused) {
  HandleTable first;
  HandleTable second;
  std::set<FileHandle> seen;
  for (int i = 0; i < 100; ++i) {
    const FileHandle a = first.Register("A");
    const FileHandle b = second.Register("B");
    EXPECT_TRUE(seen.insert(a).second);
    EXPECT_TRUE(seen.insert(b).second);
    first.Unregister(a);
    second.Unregister(b);
  }
  EXPECT_EQ(first.size(), 0u);
}

TEST(HandleTableTest, ThreadsRegisterConcurrently) {
  HandleTable table;
  constexpr int kThreads = 4;
  constexpr int kPerThread = 500;
  std::vector<std::vector<FileHandle>> handles(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&table, &handles, t] {
      for (int i = 0; i < kPerThread; ++i) {
        handles[t].push_back(table.Register("T" + std::to_string(t)));
      }
      // Drop every other one again while the others are still adding.
      for (int i = 0; i < kPerThread; i += 2) table.Unregister(handles[t][i]);
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(table.size(), size_t{kThreads * kPerThread / 2});
  std::set<FileHandle> all;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kPerThread; ++i) {
      EXPECT_TRUE(all.insert(handles[t][i]).second);
      EXPECT_EQ(table.Lookup(handles[t][i]).has_value(), i % 2 == 1);
    }
  }
}

TEST(HandleRegistrationTest, LastsAsLongAsItsOwner) {
  HandleTable table;
  FileHandle handle;
  {
    HandleRegistration registration(table, "/data/ZUN.DAT");
    handle = registration.handle();
    EXPECT_EQ(table.Lookup(handle), "/data/ZUN.DAT");

    HandleRegistration moved(std::move(registration));
    EXPECT_EQ(moved.handle(), handle);
    EXPECT_EQ(registration.handle(), kNoFileHandle);  // NOLINT: a moved-from registration is documented as empty

    HandleRegistration other(table, "/data/ZUN.K01");
    const FileHandle other_handle = other.handle();
    other = std::move(moved);  // drops ZUN.K01's entry, takes ZUN.DAT's
    EXPECT_FALSE(table.Lookup(other_handle).has_value());
    EXPECT_EQ(table.Lookup(handle), "/data/ZUN.DAT");
    EXPECT_EQ(table.size(), 1u);
  }
  EXPECT_FALSE(table.Lookup(handle).has_value());
  EXPECT_EQ(table.size(), 0u);
  EXPECT_EQ(HandleRegistration().handle(), kNoFileHandle);
}

TEST(AbsoluteFileNameTest, JoinsTheCurrentDirectoryAndDropsDotComponents) {
  char buffer[4096];
  ASSERT_NE(::getcwd(buffer, sizeof(buffer)), nullptr);
  const std::string cwd = buffer;
  struct Case {
    std::string path;
    std::string expected;
  };
  const Case cases[] = {
      {"/data/ZUN.DAT", "/data/ZUN.DAT"},
      {"/data/./ZUN.DAT", "/data/ZUN.DAT"},
      {"//data///ZUN.DAT", "/data/ZUN.DAT"},
      {"/data/../ZUN.DAT", "/data/../ZUN.DAT"},  // ".." is kept on purpose
      {"/", "/"},
      {"ZUN.DAT", cwd == "/" ? "/ZUN.DAT" : cwd + "/ZUN.DAT"},
      {"./sub/ZUN.DAT", cwd == "/" ? "/sub/ZUN.DAT" : cwd + "/sub/ZUN.DAT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(AbsoluteFileName(c.path), c.expected);
  }
}

}  // namespace
}  // namespace zuna::datfile
