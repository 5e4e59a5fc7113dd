// Two threads of one process, each with its own instance of the THREAD file
// ZUN, must exclude each other exactly as two stations do: the byte locks
// belong to each instance's own open file description, not to the process.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/error_state.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zun_declaration.h"

namespace zuna::datfile {
namespace {

using testing::TempDir;

void SetRecord(DatFileInstance& file, const std::string& fio, int32_t data) {
  const std::string record = testing::ZunRecord(fio, data);
  std::copy(record.begin(), record.end(), file.record().begin());
}

std::string Fio(const DatFileInstance& file) {
  std::string fio(file.record().begin(), file.record().begin() + 30);
  while (!fio.empty() && fio.back() == ' ') fio.pop_back();
  return fio;
}

// A thread with its own ZUN instance, named `path`, that runs one piece of
// work at a time on it for the test thread, which waits for each.  The
// instance is made, used and destroyed on that thread only.
class ThreadStation {
 public:
  explicit ThreadStation(std::string path)
      : thread_([this, path = std::move(path)] { Loop(path); }) {}
  ~ThreadStation() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  ThreadStation(const ThreadStation&) = delete;
  ThreadStation& operator=(const ThreadStation&) = delete;

  // Runs `work` on the station's thread and returns its result.
  int32_t Run(std::function<int32_t(DatFileInstance&)> work) {
    std::unique_lock<std::mutex> lock(mutex_);
    work_ = std::move(work);
    done_ = false;
    wake_.notify_all();
    wake_.wait(lock, [this] { return done_; });
    return result_;
  }

  // The common statements.
  int32_t Share() { return Run([](DatFileInstance& f) { return SHARE(f); }); }
  int32_t Close() { return Run([](DatFileInstance& f) { return CLOSE(f); }); }
  int32_t Add(const std::string& fio, int32_t data) {
    return Run([&](DatFileInstance& f) {
      SetRecord(f, fio, data);
      return ADD(f);
    });
  }
  // GET by record number; *fio gets the name read.
  int32_t Get(uint32_t record_no, std::string* fio = nullptr) {
    return Run([&](DatFileInstance& f) {
      const int32_t code = GET(f, record_no);
      if (code == 0 && fio != nullptr) *fio = Fio(f);
      return code;
    });
  }
  int32_t Put(const std::string& fio, int32_t data) {
    return Run([&](DatFileInstance& f) {
      SetRecord(f, fio, data);
      return PUT(f);
    });
  }
  int32_t Hold(int32_t seconds) {
    return Run([&](DatFileInstance& f) { return HOLD(f, seconds); });
  }

 private:
  void Loop(const std::string& path) {
    DatFileInstance file(testing::ZunDeclaration());
    file.set_name(path);
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
      wake_.wait(lock, [this] { return stopping_ || work_; });
      if (!work_) break;
      std::function<int32_t(DatFileInstance&)> work = std::move(work_);
      work_ = nullptr;
      lock.unlock();
      const int32_t result = work(file);
      lock.lock();
      result_ = result;
      done_ = true;
      wake_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::function<int32_t(DatFileInstance&)> work_;
  int32_t result_ = 0;
  bool done_ = false;
  bool stopping_ = false;
  std::thread thread_;  // last: started once everything above exists
};

class ThreadStationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The register, made by the test thread's own instance.
    DatFileInstance maker(testing::ZunDeclaration());
    maker.set_name(path_);
    ASSERT_EQ(CREATE(maker), 0);
    ASSERT_EQ(OPEN(maker, kAccessReadWrite | kShareDenyAll), 0);
    SetRecord(maker, "Alice", 60001);
    ASSERT_EQ(ADD(maker), 0);
    SetRecord(maker, "Bob", 60002);
    ASSERT_EQ(ADD(maker), 0);
    ASSERT_EQ(CLOSE(maker), 0);
  }

  TempDir dir_;
  const std::string path_ = dir_.File("ZUN");
};

TEST_F(ThreadStationTest, LockOfAnotherThreadShutsThisOneOut) {
  ThreadStation a(path_);
  ThreadStation b(path_);
  ThreadStation c(path_);
  ASSERT_EQ(a.Share(), 0);
  ASSERT_EQ(b.Share(), 0);
  ASSERT_EQ(b.Run([](DatFileInstance& f) { return LOCK(f); }), 0);

  EXPECT_EQ(b.Add("Carol", 60003), 0);
  EXPECT_EQ(a.Add("Dan", 60004), 32);
  EXPECT_EQ(c.Share(), 5);
  EXPECT_EQ(c.Close(), 0);  // so a wrong answer above does not make the next 52

  ASSERT_EQ(b.Run([](DatFileInstance& f) { return UNLOCK(f); }), 0);
  EXPECT_EQ(a.Add("Dan", 60004), 0);
  EXPECT_EQ(c.Share(), 0);
  EXPECT_EQ(c.Run([](DatFileInstance& f) {
              const uint32_t records = RECORDS(f);
              return values::ERRORCODE() != 0 ? values::ERRORCODE()
                                              : static_cast<int32_t>(records);
            }),
            4);
  for (ThreadStation* s : {&a, &b, &c}) EXPECT_EQ(s->Close(), 0);
}

TEST_F(ThreadStationTest, RecordHeldByAnotherThreadIsReadableButNotWritable) {
  ThreadStation a(path_);
  ThreadStation b(path_);
  ASSERT_EQ(a.Share(), 0);
  ASSERT_EQ(a.Hold(1), 0);
  ASSERT_EQ(a.Get(1), 0);

  ASSERT_EQ(b.Share(), 0);
  std::string fio;
  EXPECT_EQ(b.Get(1, &fio), 0);
  EXPECT_EQ(fio, "Alice");
  EXPECT_EQ(b.Put("Carol", 60003), 5);

  ASSERT_EQ(b.Hold(2), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(b.Get(1), 43);
  const double waited =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(waited, 1.5);
  EXPECT_LE(waited, 4.0);

  ASSERT_EQ(a.Run([](DatFileInstance& f) { return RELEASE(f); }), 0);
  ASSERT_EQ(b.Hold(2), 0);
  EXPECT_EQ(b.Get(1), 0);
  EXPECT_EQ(b.Put("Carol", 60003), 0);
  fio.clear();
  EXPECT_EQ(a.Get(1, &fio), 0);
  EXPECT_EQ(fio, "Carol");
  for (ThreadStation* s : {&a, &b}) EXPECT_EQ(s->Close(), 0);
}

// A thread waiting for another thread's hold, without limit, lets that
// thread work meanwhile: the release it waits for can come.
TEST_F(ThreadStationTest, AHoldWaitLetsTheHoldingThreadRelease) {
  ThreadStation a(path_);
  ThreadStation b(path_);
  ASSERT_EQ(a.Share(), 0);
  ASSERT_EQ(b.Share(), 0);
  ASSERT_EQ(a.Hold(1), 0);
  ASSERT_EQ(a.Get(1), 0);
  ASSERT_EQ(b.Hold(0), 0);
  auto waiting = std::async(std::launch::async, [&] { return b.Get(1); });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(200)),
            std::future_status::timeout);
  ASSERT_EQ(a.Run([](DatFileInstance& f) { return RELEASE(f); }), 0);
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), 0);
  for (ThreadStation* s : {&a, &b}) EXPECT_EQ(s->Close(), 0);
}

}  // namespace
}  // namespace zuna::datfile
