#include "tests/support/mem_fs.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/datfile/coding.h"
#include "runtime/datfile/handle_table.h"
#include "tests/support/status_matchers.h"
#include "tests/support/temp_dir.h"

namespace zuna::testing {
namespace {

namespace Err = datfile::Err;
using datfile::File;
using datfile::FileSystem;
using datfile::OpenOptions;
using datfile::Status;

std::span<const char> Bytes(std::string_view text) {
  return {text.data(), text.size()};
}

OpenOptions ReadOnly() { return OpenOptions{}; }
OpenOptions ReadWrite() { return OpenOptions{.write = true}; }
OpenOptions CreateNew() {
  return OpenOptions{.write = true, .create = true, .exclusive = true};
}

std::string ReadAll(File& file) {
  uint64_t size = 0;
  EXPECT_OK(file.Size(&size));
  std::string bytes(size, '\0');
  size_t got = 0;
  EXPECT_OK(file.ReadAt(0, {bytes.data(), bytes.size()}, &got));
  bytes.resize(got);
  return bytes;
}

// --- The same operations against the real and the in-memory file system ---

// What one table of steps works on: a file system, a directory in it, and
// the Files opened so far by label.
struct World {
  FileSystem& fs;
  std::string dir;
  std::map<std::string, std::unique_ptr<File>> files;

  std::string Name(const std::string& name) const { return dir + "/" + name; }
  File& At(const std::string& label) { return *files.at(label); }
};

std::string Code(const Status& status) {
  std::string text = std::to_string(status.code());
  if (status.IsAlreadyExists()) text += " exists";
  return text;
}

// Zero bytes print as '~' so expected values stay readable.
std::string Printable(std::string bytes) {
  for (char& c : bytes) {
    if (c == '\0') c = '~';
  }
  return bytes;
}

std::function<std::string(World&)> OpenStep(std::string label, std::string name,
                                            OpenOptions options) {
  return [=](World& w) {
    std::unique_ptr<File> file;
    Status status = w.fs.Open(w.Name(name), options, &file);
    if (status.ok()) w.files[label] = std::move(file);
    return Code(status);
  };
}

std::function<std::string(World&)> WriteStep(std::string label,
                                             uint64_t offset,
                                             std::string bytes) {
  return [=](World& w) { return Code(w.At(label).WriteAt(offset, Bytes(bytes))); };
}

std::function<std::string(World&)> ReadStep(std::string label, uint64_t offset,
                                            size_t count) {
  return [=](World& w) {
    std::string buffer(count, '\0');
    size_t got = 0;
    Status status = w.At(label).ReadAt(offset, {buffer.data(), count}, &got);
    if (!status.ok()) return Code(status);
    return "[" + Printable(buffer.substr(0, got)) + "]";
  };
}

std::function<std::string(World&)> ResolveStep(std::string name) {
  return [=](World& w) {
    std::string resolved;
    Status status = w.fs.ResolveName(w.Name(name), &resolved);
    if (!status.ok()) return Code(status);
    return resolved.substr(w.dir.size() + 1);
  };
}

struct Step {
  const char* what;
  std::function<std::string(World&)> run;
  const char* expected;
};

std::vector<Step> ParitySteps() {
  return {
      {"open missing", OpenStep("x", "ZUN.DAT", ReadOnly()), "2"},
      {"create in a missing directory",
       OpenStep("x", "NODIR/ZUN.DAT", CreateNew()), "3"},
      {"create", OpenStep("a", "ZUN.DAT", CreateNew()), "0"},
      {"create again", OpenStep("x", "ZUN.DAT", CreateNew()), "5 exists"},
      {"write", WriteStep("a", 0, "hello"), "0"},
      {"write past the end", WriteStep("a", 8, "xy"), "0"},
      {"size",
       [](World& w) {
         uint64_t size = 0;
         Status status = w.At("a").Size(&size);
         return status.ok() ? std::to_string(size) : Code(status);
       },
       "10"},
      {"read over the hole", ReadStep("a", 0, 16), "[hello~~~xy]"},
      {"open read-only", OpenStep("b", "ZUN.DAT", ReadOnly()), "0"},
      {"write read-only", WriteStep("b", 0, "z"), "6"},
      {"empty write read-only", WriteStep("b", 0, ""), "0"},
      {"truncate read-only",
       [](World& w) { return Code(w.At("b").Truncate(1)); }, "5"},
      {"read through the other", ReadStep("b", 3, 4), "[lo~~]"},
      {"truncate", [](World& w) { return Code(w.At("a").Truncate(4)); }, "0"},
      {"other sees the cut", ReadStep("b", 0, 10), "[hell]"},
      {"read past the end", ReadStep("a", 100, 4), "[]"},
      {"sync", [](World& w) { return Code(w.At("a").Sync()); }, "0"},
      {"rename",
       [](World& w) {
         return Code(w.fs.Rename(w.Name("ZUN.DAT"), w.Name("ZUN.OLD")));
       },
       "0"},
      {"exists after rename",
       [](World& w) {
         return std::string(w.fs.Exists(w.Name("ZUN.DAT")) ? "old " : "") +
                (w.fs.Exists(w.Name("ZUN.OLD")) ? "new" : "");
       },
       "new"},
      {"renamed file still open", ReadStep("a", 0, 10), "[hell]"},
      {"resolve other case", ResolveStep("zun.old"), "ZUN.OLD"},
      {"resolve unknown", ResolveStep("zun.k01"), "zun.k01"},
      {"create second spelling", OpenStep("c", "zun.OLD", CreateNew()), "0"},
      {"resolve ambiguous", ResolveStep("Zun.Old"), "5"},
      {"resolve exact among two", ResolveStep("zun.OLD"), "zun.OLD"},
      {"remove",
       [](World& w) { return Code(w.fs.Remove(w.Name("ZUN.OLD"))); }, "0"},
      {"remove again",
       [](World& w) { return Code(w.fs.Remove(w.Name("ZUN.OLD"))); }, "2"},
      {"removed file still open", ReadStep("a", 0, 10), "[hell]"},
      {"file as a directory", OpenStep("x", "zun.OLD/ZUN.DAT", CreateNew()),
       "3"},
      {"open a directory",
       [](World& w) {
         std::unique_ptr<File> file;
         return Code(w.fs.Open(w.dir, ReadOnly(), &file));
       },
       "5"},
      {"truncate without write",
       OpenStep("x", "zun.OLD", OpenOptions{.truncate = true}), "5"},
      {"write to the survivor", WriteStep("c", 0, "abc"), "0"},
      {"open truncating",
       OpenStep("d", "zun.OLD", OpenOptions{.write = true, .truncate = true}),
       "0"},
      {"truncated", ReadStep("c", 0, 10), "[]"},
      {"rename missing",
       [](World& w) { return Code(w.fs.Rename(w.Name("NONE"), w.Name("X"))); },
       "2"},
      {"rename into a missing directory",
       [](World& w) {
         return Code(w.fs.Rename(w.Name("zun.OLD"), w.Name("NODIR/X")));
       },
       "2"},
      {"sync directory", [](World& w) { return Code(w.fs.SyncDirectory(w.dir)); },
       "0"},
      {"sync missing directory",
       [](World& w) { return Code(w.fs.SyncDirectory(w.Name("NODIR"))); }, "2"},
      {"sync a file as directory",
       [](World& w) { return Code(w.fs.SyncDirectory(w.Name("zun.OLD"))); },
       "3"},
      {"temporary file",
       [](World& w) {
         std::unique_ptr<File> file;
         Status status = w.fs.CreateTemp("TMP", &file);
         if (!status.ok()) return Code(status);
         const std::string& name = file->path();
         const bool named_right = name.rfind(w.dir + "/TMP", 0) == 0;
         return std::string(named_right ? "TMP" : name) +
                (w.fs.Exists(name) ? " stays" : " vanished");
       },
       "TMP vanished"},
  };
}

std::vector<std::string> RunSteps(FileSystem& fs, const std::string& dir) {
  World world{fs, dir, {}};
  std::vector<std::string> results;
  for (const Step& step : ParitySteps()) results.push_back(step.run(world));
  return results;
}

TEST(MemFileSystemParityTest, SameResultsAsTheRealFileSystem) {
  TempDir dir;
  const char* old_tmpdir = std::getenv("TMPDIR");
  const std::optional<std::string> saved =
      old_tmpdir ? std::optional<std::string>(old_tmpdir) : std::nullopt;
  ::setenv("TMPDIR", dir.path().c_str(), 1);
  const std::vector<std::string> real = RunSteps(datfile::PosixFileSystem(), dir.path());
  if (saved) {
    ::setenv("TMPDIR", saved->c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }

  MemFileSystem mem;
  mem.set_strict_directories(true);
  mem.CreateDirectory(dir.path());
  mem.set_temp_directory(dir.path());
  const std::vector<std::string> memory = RunSteps(mem, dir.path());

  const std::vector<Step> steps = ParitySteps();
  ASSERT_EQ(real.size(), steps.size());
  ASSERT_EQ(memory.size(), steps.size());
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(std::to_string(i + 1) + ": " + steps[i].what);
    EXPECT_EQ(real[i], steps[i].expected) << "real file system";
    EXPECT_EQ(memory[i], steps[i].expected) << "in-memory file system";
  }
}

// --- What only the in-memory file system offers --------------------------------

TEST(MemFileSystemTest, CountersShowWritesSyncsAndTruncations) {
  MemFileSystem fs;
  std::unique_ptr<File> memo;
  std::unique_ptr<File> data;
  ASSERT_OK(fs.Open("ZUN.MEM", CreateNew(), &memo));
  ASSERT_OK(fs.Open("ZUN.DAT", CreateNew(), &data));
  ASSERT_OK(data->WriteAt(0, Bytes("header")));
  ASSERT_OK(data->WriteAt(6, Bytes("")));
  ASSERT_OK(data->WriteAt(6, Bytes("rec")));
  ASSERT_OK(data->Sync());
  ASSERT_OK(data->Truncate(2));
  std::unique_ptr<File> again;
  ASSERT_OK(fs.Open("ZUN.DAT", OpenOptions{.write = true, .truncate = true},
                    &again));
  char buffer[4];
  size_t got = 0;
  ASSERT_OK(memo->ReadAt(0, buffer, &got));  // reads count nothing

  const FileCounters counters = fs.Counters("ZUN.DAT");
  EXPECT_EQ(counters.writes, 3u);
  EXPECT_EQ(counters.bytes_written, 9u);
  EXPECT_EQ(counters.syncs, 1u);
  EXPECT_EQ(counters.truncates, 2u);
  const FileCounters untouched = fs.Counters("ZUN.MEM");
  EXPECT_EQ(untouched.writes + untouched.syncs + untouched.truncates, 0u);
  EXPECT_EQ(fs.Counters("NONE").writes, 0u);

  std::unique_ptr<File> temp;
  ASSERT_OK(fs.CreateTemp("TMP", &temp));
  ASSERT_OK(temp->WriteAt(0, Bytes("sort run")));
  EXPECT_EQ(fs.TotalCounters().writes, 4u);
  EXPECT_EQ(fs.TotalCounters().bytes_written, 17u);

  fs.ResetCounters();
  EXPECT_EQ(fs.Counters("ZUN.DAT").writes, 0u);
  EXPECT_EQ(fs.TotalCounters().bytes_written, 0u);
  ASSERT_OK(temp->Sync());
  EXPECT_EQ(fs.TotalCounters().syncs, 1u);
}

// What a driver test reads to prove it took no lock on an exclusive file,
// or gave back every lock it took.
TEST(MemFileSystemTest, LockCallsAndHeldLocksAreVisible) {
  MemFileSystem fs;
  std::unique_ptr<File> a;
  std::unique_ptr<File> b;
  ASSERT_OK(fs.Open("ZUN.DAT", CreateNew(), &a));
  ASSERT_OK(fs.Open("ZUN.DAT", ReadWrite(), &b));
  EXPECT_EQ(fs.Counters("ZUN.DAT").locks, 0u);
  ASSERT_OK(a->Lock(0, 1, datfile::LockKind::kExclusive));
  EXPECT_STATUS_CODE(b->Lock(0, 1, datfile::LockKind::kShared),
                     Err::kAccessDenied);
  ASSERT_OK(b->Lock(10, 4, datfile::LockKind::kShared));
  EXPECT_EQ(fs.Counters("ZUN.DAT").locks, 3u);  // the refused one too
  EXPECT_EQ(fs.HeldLockCount("ZUN.DAT"), 2u);
  ASSERT_OK(b->Unlock(11, 2));  // splits b's range in two
  EXPECT_EQ(fs.HeldLockCount("ZUN.DAT"), 3u);
  b.reset();
  EXPECT_EQ(fs.HeldLockCount("ZUN.DAT"), 1u);
  ASSERT_OK(a->Unlock(0, 1));
  EXPECT_EQ(fs.HeldLockCount("ZUN.DAT"), 0u);
  EXPECT_EQ(fs.TotalCounters().locks, 3u);
  fs.ResetCounters();
  EXPECT_EQ(fs.Counters("ZUN.DAT").locks, 0u);
}

TEST(MemFileSystemTest, HostLocalLocksAreWhatTheTestSays) {
  MemFileSystem fs;
  std::string reason = "stale";
  EXPECT_FALSE(fs.LocksAreHostLocal("ZUN.DAT", &reason));
  EXPECT_EQ(reason, "");
  fs.set_host_local_locks("/srv is an nfs mount (nolock)");
  EXPECT_TRUE(fs.LocksAreHostLocal("ZUN.DAT", &reason));
  EXPECT_EQ(reason, "/srv is an nfs mount (nolock)");
  fs.set_host_local_locks("");
  EXPECT_FALSE(fs.LocksAreHostLocal("ZUN.DAT", &reason));
}

TEST(MemFileSystemTest, ContentsCanBeReadAndDamagedDirectly) {
  MemFileSystem fs;
  EXPECT_EQ(fs.Contents("ZUN.DAT"), "");
  fs.SetContents("ZUN.DAT", std::string("\x01\x02\x00\x04", 4));
  std::unique_ptr<File> file;
  ASSERT_OK(fs.Open("ZUN.DAT", ReadWrite(), &file));
  char buffer[4];
  ASSERT_OK(datfile::ReadExact(*file, 0, buffer, Err::kInvalidDataFile));
  EXPECT_EQ(datfile::DecodeFixed32(buffer), 0x04000201u);

  // Damage under an open File: it sees the new bytes at once.
  std::string bytes = fs.Contents("ZUN.DAT");
  bytes[3] = '\x7f';
  bytes.resize(3 + 1);
  fs.SetContents("ZUN.DAT", bytes + "tail");
  EXPECT_EQ(ReadAll(*file), std::string("\x01\x02\x00\x7ftail", 8));

  ASSERT_OK(file->WriteAt(0, Bytes("AB")));
  EXPECT_EQ(fs.Contents("ZUN.DAT"), std::string("AB\x00\x7ftail", 8));
  EXPECT_EQ(fs.Counters("ZUN.DAT").writes, 1u);  // SetContents not counted
}

TEST(MemFileSystemTest, NamesAreNormalisedAgainstTheRoot) {
  MemFileSystem fs;
  std::unique_ptr<File> file;
  ASSERT_OK(fs.Open("ZUN.DAT", CreateNew(), &file));
  EXPECT_TRUE(fs.Exists("/ZUN.DAT"));
  EXPECT_TRUE(fs.Exists("./ZUN.DAT"));
  EXPECT_TRUE(fs.Exists("//ZUN.DAT"));
  EXPECT_FALSE(fs.Exists("zun.dat"));  // names keep their case
  EXPECT_EQ(file->path(), "ZUN.DAT");
  EXPECT_EQ(datfile::OpenHandles().Lookup(file->handle()), "/ZUN.DAT");
  EXPECT_EQ(fs.ListFiles(), std::vector<std::string>{"/ZUN.DAT"});

  std::string resolved;
  ASSERT_OK(fs.ResolveName("zun.dat", &resolved));
  EXPECT_EQ(resolved, "ZUN.DAT");
  ASSERT_OK(fs.ResolveName("/data/zun.dat", &resolved));
  EXPECT_EQ(resolved, "/data/zun.dat");
}

TEST(MemFileSystemTest, DirectoriesAreImplicitUnlessStrict) {
  MemFileSystem fs;
  std::unique_ptr<File> file;
  ASSERT_OK(fs.Open("/any/deep/ZUN.DAT", CreateNew(), &file));
  EXPECT_STATUS_CODE(fs.Open("/any/deep/ZUN.DAT/x", CreateNew(), &file),
                     Err::kPathNotFound);
  EXPECT_OK(fs.SyncDirectory("/never/made"));

  fs.set_strict_directories(true);
  EXPECT_STATUS_CODE(fs.Open("/data/ZUN.DAT", CreateNew(), &file),
                     Err::kPathNotFound);
  fs.CreateDirectory("/data/sub");
  EXPECT_OK(fs.Open("/data/ZUN.DAT", CreateNew(), &file));
  EXPECT_OK(fs.Open("/data/sub/ZUN.DAT", CreateNew(), &file));
  EXPECT_STATUS_CODE(fs.SyncDirectory("/never/made"), Err::kFileNotFound);
}

TEST(MemFileSystemTest, DirectorySyncsAreCounted) {
  MemFileSystem fs;
  EXPECT_EQ(fs.DirectorySyncs("/data"), 0u);
  ASSERT_OK(fs.SyncDirectory("/data"));
  ASSERT_OK(fs.SyncDirectory("/data/"));
  ASSERT_OK(fs.SyncDirectory(""));
  EXPECT_EQ(fs.DirectorySyncs("/data"), 2u);
  EXPECT_EQ(fs.DirectorySyncs("/"), 1u);
  fs.ResetCounters();
  EXPECT_EQ(fs.DirectorySyncs("/data"), 0u);
}

TEST(MemFileSystemTest, OpenFilesAreCountedAndMayOutliveTheFileSystem) {
  std::unique_ptr<File> survivor;
  {
    MemFileSystem fs;
    std::unique_ptr<File> temp;
    ASSERT_OK(fs.Open("ZUN.DAT", CreateNew(), &survivor));
    ASSERT_OK(fs.CreateTemp("TMP", &temp));
    EXPECT_EQ(fs.OpenFileCount(), 2u);
    temp.reset();
    EXPECT_EQ(fs.OpenFileCount(), 1u);
    std::unique_ptr<File> failed;
    EXPECT_STATUS_CODE(fs.Open("NONE", ReadOnly(), &failed), Err::kFileNotFound);
    EXPECT_EQ(fs.OpenFileCount(), 1u);
  }
  ASSERT_OK(survivor->WriteAt(0, Bytes("still here")));
  EXPECT_EQ(ReadAll(*survivor), "still here");
}

TEST(MemFileSystemTest, TemporaryFilesAreAnonymousAndSeparate) {
  MemFileSystem fs;
  std::unique_ptr<File> first;
  std::unique_ptr<File> second;
  ASSERT_OK(fs.CreateTemp("TMP", &first));
  ASSERT_OK(fs.CreateTemp("TMP", &second));
  EXPECT_EQ(first->path().rfind("/tmp/TMP", 0), 0u) << first->path();
  EXPECT_NE(first->path(), second->path());
  ASSERT_OK(first->WriteAt(0, Bytes("one")));
  EXPECT_EQ(ReadAll(*second), "");
  EXPECT_TRUE(fs.ListFiles().empty());
  EXPECT_STATUS_CODE(fs.CreateTemp("a/TMP", &first), Err::kInvalidFilename);
}

TEST(MemFileSystemTest, HugeOffsetsAreRefusedNotAllocated) {
  MemFileSystem fs;
  std::unique_ptr<File> file;
  ASSERT_OK(fs.Open("ZUN.DAT", CreateNew(), &file));
  EXPECT_STATUS_CODE(file->WriteAt(MemFileSystem::kMaxFileSize, Bytes("x")),
                     Err::kAccessDenied);
  EXPECT_STATUS_CODE(file->Truncate(MemFileSystem::kMaxFileSize + 1),
                     Err::kAccessDenied);
  char buffer[1];
  size_t got = 0;
  EXPECT_STATUS_CODE(file->ReadAt(uint64_t{1} << 63, buffer, &got),
                     Err::kAccessDenied);
  EXPECT_EQ(fs.Contents("ZUN.DAT"), "");
}

// Several threads write their own records of one file through Files of
// their own, as stations' threads do; nothing may be lost or torn.
TEST(MemFileSystemTest, ThreadsShareOneFileSafely) {
  MemFileSystem fs;
  fs.SetContents("ZUN.DAT", "");
  constexpr int kThreads = 4;
  constexpr int kRecords = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&fs, t] {
      std::unique_ptr<File> file;
      ASSERT_OK(fs.Open("ZUN.DAT", ReadWrite(), &file));
      for (int i = 0; i < kRecords; ++i) {
        char record[4];
        datfile::EncodeFixed32(record, static_cast<uint32_t>(t * kRecords + i));
        const uint64_t slot = static_cast<uint64_t>(i * kThreads + t);
        ASSERT_OK(file->WriteAt(slot * 4, record));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  const std::string bytes = fs.Contents("ZUN.DAT");
  ASSERT_EQ(bytes.size(), size_t{kThreads * kRecords * 4});
  for (int i = 0; i < kRecords; ++i) {
    for (int t = 0; t < kThreads; ++t) {
      const size_t slot = static_cast<size_t>(i * kThreads + t);
      EXPECT_EQ(datfile::DecodeFixed32(bytes.data() + slot * 4),
                static_cast<uint32_t>(t * kRecords + i));
    }
  }
  EXPECT_EQ(fs.Counters("ZUN.DAT").writes, uint64_t{kThreads * kRecords});
}

}  // namespace
}  // namespace zuna::testing
