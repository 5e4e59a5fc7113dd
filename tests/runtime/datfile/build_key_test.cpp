#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "runtime/datfile/key_build.h"
#include "runtime/datfile/key_encoding.h"
#include "runtime/datfile/key_file.h"
#include "tests/runtime/datfile/key_test_util.h"
#include "tests/support/fault_fs.h"
#include "tests/support/mem_fs.h"
#include "tests/support/status_matchers.h"
#include "tests/support/zun_declaration.h"

namespace zuna::datfile {
namespace {

using key_test::Block;
using key_test::Describe;
using key_test::Hex;
using key_test::ParseNode;

constexpr char kPath[] = "/T.K01";

// Records handed out from a vector, as the data file would.
class VectorSource final : public RecordSource {
 public:
  explicit VectorSource(std::vector<std::pair<uint32_t, std::string>> records)
      : records_(std::move(records)) {}
  Status Next(uint32_t* record_no, std::span<const char>* record,
              bool* done) override {
    if (next_ == records_.size()) {
      *done = true;
      return Status::OK();
    }
    *record_no = records_[next_].first;
    *record = records_[next_].second;
    ++next_;
    return Status::OK();
  }

 private:
  std::vector<std::pair<uint32_t, std::string>> records_;
  size_t next_ = 0;
};

std::string Name(const char* format, int n, size_t width) {
  char text[32];
  std::snprintf(text, sizeof text, format, n);
  return key_test::Padded(text, width);
}

class BuildKeyTest : public ::testing::Test {
 protected:
  void Make(uint16_t width, bool dup, bool opt = false) {
    width_ = width;
    decl_ = key_test::StringFile(width, dup, false, opt);
    ASSERT_OK(KeyEncoder::Create(decl_, decl_.keys[0], values::DefaultLocale(),
                                 &encoder_));
    ASSERT_OK(
        KeyFile::Create(fs_, kPath, encoder_.layout(), OpenOptions{}, &key_));
  }

  Status Build(std::vector<std::pair<uint32_t, std::string>> records,
               const BuildOptions& options = {}, BuildStats* stats = nullptr,
               DuplicateReport* report = nullptr) {
    VectorSource source(std::move(records));
    return BuildKey(fs_, *key_, encoder_, source, report, options, stats);
  }

  key_test::RawNode Node(uint32_t n) const {
    return ParseNode(Block(fs_, kPath, n), encoder_.entry_length());
  }
  std::string Links(uint32_t n) const {
    const key_test::RawNode node = Node(n);
    return std::to_string(node.count) + " r" + std::to_string(node.right) +
           " l" + std::to_string(node.left) + " p" +
           std::to_string(node.parent);
  }
  std::string Faults() {
    return key_test::Faults(fs_, kPath, encoder_.layout());
  }

  testing::MemFileSystem fs_;
  uint16_t width_ = 0;
  FileDecl decl_;
  KeyEncoder encoder_;
  std::unique_ptr<KeyFile> key_;
};

// 100 entries, 14 a node: 8 leaves (7 full, one of 2) under a root.
TEST_F(BuildKeyTest, HundredEntriesMakeARootAndEightLeaves) {
  Make(30, /*dup=*/false);
  std::vector<std::pair<uint32_t, std::string>> records;
  for (int r = 1; r <= 100; ++r) {
    records.emplace_back(r, Name("N%03d", 101 - r, 30));  // reverse order
  }
  ASSERT_OK(Build(records));
  const std::string bytes = fs_.Contents(kPath);
  ASSERT_EQ(bytes.size(), 10u * 512);
  // root 1, 100 entries, 9 nodes, last leaf 9, last record 1 (N100),
  // first record 100 (N001), no free node, 0x40, 14, 1, 34, height 2.
  EXPECT_EQ(Hex(bytes.substr(0, 35)),
            "01 00 00 00 64 00 00 00 09 00 00 00 09 00 00 00 "
            "01 00 00 00 64 00 00 00 00 00 00 00 40 0E 01 22 00 02 00");
  EXPECT_EQ(bytes.substr(35, 512 - 35), std::string(512 - 35, '\0'));

  EXPECT_EQ(Links(1), "8 r0 l0 p0");
  EXPECT_EQ(Describe(Node(1)),
            "2:N014 3:N028 4:N042 5:N056 6:N070 7:N084 8:N098 9:N100");
  // Leaf 2: 14 entries, right 3, no left, parent 1; first N001 of record 100.
  std::string leaf_start =
      "0E 03 00 00 00 00 00 00 00 01 00 00 00 64 00 00 00 "
      "4E 30 30 31";
  for (int i = 0; i < 26; ++i) leaf_start += " 20";
  EXPECT_EQ(Hex(Block(fs_, kPath, 2).substr(0, 13 + 34)), leaf_start);
  EXPECT_EQ(Links(5), "14 r6 l4 p1");
  EXPECT_EQ(Links(9), "2 r0 l8 p1");
  EXPECT_EQ(Describe(Node(9)), "2:N099 1:N100");
  EXPECT_TRUE(Node(9).tail_zero);
  EXPECT_EQ(Faults(), "");

  // The KeyFile was re-read and works on from there.
  EXPECT_EQ(key_->entry_count(), 100u);
  ASSERT_OK(key_->Insert(key_test::TextEntry(101, "N0995", 30)));
  ASSERT_OK(key_->Delete(key_test::TextEntry(50, Name("N%03d", 51, 30), 30)));
  EXPECT_EQ(Faults(), "");
}

TEST_F(BuildKeyTest, ThreeLevelsAreNumberedFromTheTop) {
  Make(120, /*dup=*/true);  // 4 a node
  std::vector<std::pair<uint32_t, std::string>> records;
  for (int r = 1; r <= 50; ++r) records.emplace_back(r, Name("K%02d", r, 120));
  ASSERT_OK(Build(records));
  const key_test::RawHeader h = key_test::ParseHeader(Block(fs_, kPath, 0));
  EXPECT_EQ(h.root, 1u);
  EXPECT_EQ(h.height, 3);
  EXPECT_EQ(h.node_count, 18u);  // 1 root, 4 inner (2-5), 13 leaves (6-18)
  EXPECT_EQ(h.last_leaf, 18u);
  EXPECT_EQ(h.free_node, 0u);
  EXPECT_EQ(Describe(Node(1)), "2:K16 3:K32 4:K48 5:K50");
  EXPECT_EQ(Describe(Node(2)), "6:K04 7:K08 8:K12 9:K16");
  EXPECT_EQ(Links(2), "4 r0 l0 p1");
  EXPECT_EQ(Describe(Node(5)), "18:K50");
  EXPECT_EQ(Links(5), "1 r0 l0 p1");
  EXPECT_EQ(Links(6), "4 r7 l0 p2");
  EXPECT_EQ(Links(10), "4 r11 l9 p3");
  EXPECT_EQ(Links(17), "4 r18 l16 p4");
  EXPECT_EQ(Describe(Node(18)), "49:K49 50:K50");
  EXPECT_EQ(Links(18), "2 r0 l17 p5");
  EXPECT_EQ(fs_.Contents(kPath).size(), 19u * 512);
  EXPECT_EQ(Faults(), "");
}

TEST_F(BuildKeyTest, NoEntriesGiveANewKeyFile) {
  Make(30, false, /*opt=*/true);
  ASSERT_OK(key_->Insert(key_test::TextEntry(1, "old", 30)));
  const std::string fresh = [&] {
    testing::MemFileSystem other;
    std::unique_ptr<KeyFile> key;
    EXPECT_OK(
        KeyFile::Create(other, kPath, encoder_.layout(), OpenOptions{}, &key));
    return other.Contents(kPath);
  }();
  BuildStats stats;
  // Only blank records: an OPT key leaves them all out.
  ASSERT_OK(Build({{1, std::string(30, ' ')}, {2, std::string(30, '\0')}}, {},
                  &stats));
  EXPECT_EQ(stats.entries, 0u);
  EXPECT_EQ(stats.left_out, 2u);
  EXPECT_EQ(fs_.Contents(kPath), fresh);
  EXPECT_EQ(key_->entry_count(), 0u);
}

TEST_F(BuildKeyTest, OptKeysLeaveOutBlankRecords) {
  Make(30, true, /*opt=*/true);
  BuildStats stats;
  ASSERT_OK(Build({{1, Name("B", 0, 30)},
                   {2, std::string(30, ' ')},
                   {3, Name("A", 0, 30)},
                   {4, std::string(30, ' ')}},
                  {}, &stats));
  EXPECT_EQ(stats.entries, 2u);
  EXPECT_EQ(stats.left_out, 2u);
  EXPECT_EQ(key_->entry_count(), 2u);
  EXPECT_EQ(key_->header().first_record, 3u);
  EXPECT_EQ(key_->header().last_record, 1u);
}

// The run size changes how the sort works, never what it writes.
TEST_F(BuildKeyTest, ManySmallRunsBuildTheSameFileAsOneRun) {
  std::mt19937 random(11);
  std::vector<std::pair<uint32_t, std::string>> records;
  for (uint32_t r = 1; r <= 700; ++r) {
    records.emplace_back(r, Name("%05d", static_cast<int>(random() % 400), 30));
  }
  std::shuffle(records.begin(), records.end(), random);
  for (bool dup : {true, false}) {
    SCOPED_TRACE(dup ? "DUP" : "unique");
    Make(30, dup);
    BuildStats one;
    DuplicateReport one_report(fs_, "/ONE.BLD");
    const Status one_status = Build(records, {}, &one, &one_report);
    const std::string one_file = fs_.Contents(kPath);
    EXPECT_EQ(one.runs, 1u);

    BuildStats many;
    DuplicateReport many_report(fs_, "/MANY.BLD");
    const Status many_status =
        Build(records, BuildOptions{3, 2, {}}, &many, &many_report);
    EXPECT_EQ(many.runs, 234u);  // ceil(700 / 3)
    EXPECT_EQ(many_status.code(), one_status.code());
    EXPECT_EQ(many_status.code(), dup ? 0 : 40);
    EXPECT_EQ(fs_.Contents(kPath), one_file);
    EXPECT_EQ(fs_.Contents("/MANY.BLD"), fs_.Contents("/ONE.BLD"));
    EXPECT_EQ(many.duplicates, one.duplicates);
    EXPECT_EQ(key_->entry_count(), 700u);
    if (dup) {
      EXPECT_EQ(Faults(), "");
    }
    // The temporary files are gone: the key file is open, and the two
    // reports when there were duplicates.
    EXPECT_EQ(fs_.OpenFileCount(), dup ? 1u : 3u);
  }
}

TEST_F(BuildKeyTest, DuplicatesAreReportedAndTheWholeKeyIsWritten) {
  Make(30, /*dup=*/false);
  DuplicateReport report(fs_, "/T.BLD");
  BuildStats stats;
  const Status status = Build({{12, Name("Y", 0, 30)},
                               {5, Name("X", 0, 30)},
                               {2, Name("A", 0, 30)},
                               {9, Name("X", 0, 30)},
                               {14, Name("Y", 0, 30)},
                               {3, Name("X", 0, 30)}},
                              BuildOptions{2, 2, {}}, &stats, &report);
  EXPECT_EQ(status.code(), 40);
  EXPECT_EQ(stats.duplicates, 3u);
  EXPECT_EQ(key_->entry_count(), 6u);
  EXPECT_OK(key_->error());
  EXPECT_EQ(fs_.Contents("/T.BLD"),
            "Duplicate record numbers for:\n/T.K01\n"
            "Record number: 3\nRecord number: 5\n\n"
            "Record number: 9\n\n"
            "Record number: 12\nRecord number: 14\n\n");
}

TEST_F(BuildKeyTest, TheRegisterNameKeyBuildsInNameOrder) {
  const FileDecl zun = testing::ZunDeclaration();
  ASSERT_OK(
      KeyEncoder::Create(zun, zun.keys[1], values::DefaultLocale(), &encoder_));
  ASSERT_OK(
      KeyFile::Create(fs_, kPath, encoder_.layout(), OpenOptions{}, &key_));
  ASSERT_OK(Build({{1, testing::ZunRecord("Petrov", 76038)},
                   {2, testing::ZunRecord("", 0)},
                   {3, testing::ZunRecord("ivanov", 76039)},
                   {4, testing::ZunRecord("IVANOV", 1)}}));
  // NOCASE: ivanov and IVANOV are equal values, kept in record order; the
  // blank record is left out (OPT).
  KeyPosition at;
  ASSERT_OK(key_->First(&at));
  std::string order;
  bool found = true;
  while (found) {
    order += std::to_string(at.record_no());
    ASSERT_OK(key_->Next(&at, &found));
  }
  EXPECT_EQ(order, "341");
}

TEST_F(BuildKeyTest, AFailedTreeWriteLeavesTheKeyRefusingWork) {
  Make(30, true);
  std::vector<std::pair<uint32_t, std::string>> records;
  for (int r = 1; r <= 100; ++r) records.emplace_back(r, Name("%03d", r, 30));
  key_.reset();
  testing::FaultFileSystem faulty(fs_);
  KeyOpenParams params;
  params.file.write = true;
  ASSERT_OK(KeyFile::Open(faulty, kPath, encoder_.layout(), params, &key_));
  testing::Fault fault;
  fault.kind = testing::FaultKind::kWrite;
  fault.nth = 3;  // after Initialise, a node of the new tree
  fault.path_contains = "K01";
  faulty.Inject(fault);
  VectorSource source(records);
  EXPECT_STATUS_CODE(
      BuildKey(faulty, *key_, encoder_, source, nullptr, BuildOptions{}), 5);
  EXPECT_EQ(key_->error().code(), 5);
  KeyPosition at;
  EXPECT_STATUS_CODE(key_->First(&at), 5);
  // A later BUILD starts afresh.
  VectorSource again(records);
  ASSERT_OK(BuildKey(faulty, *key_, encoder_, again, nullptr, BuildOptions{}));
  EXPECT_EQ(key_->entry_count(), 100u);
  EXPECT_EQ(Faults(), "");
}

TEST_F(BuildKeyTest, ASortFailureLeavesAnEmptyUsableKey) {
  Make(30, true);
  std::vector<std::pair<uint32_t, std::string>> records;
  for (int r = 1; r <= 50; ++r) records.emplace_back(r, Name("%03d", r, 30));
  testing::FaultFileSystem faulty(fs_);
  faulty.FailNth(testing::FaultKind::kOpen, 1, testing::FaultMode::kTransient,
                 4);  // CreateTemp
  VectorSource source(records);
  EXPECT_STATUS_CODE(
      BuildKey(faulty, *key_, encoder_, source, nullptr, BuildOptions{10, 2, {}}),
      4);
  EXPECT_OK(key_->error());
  EXPECT_EQ(key_->entry_count(), 0u);
  EXPECT_EQ(Faults(), "");
}

TEST(BuildDuplicateReportTest, TextOfPairsAndKeys) {
  testing::MemFileSystem fs;
  fs.SetContents("/Z.BLD", "an old report");
  DuplicateReport report(fs, "/Z.BLD");
  EXPECT_FALSE(report.created());
  ASSERT_OK(report.Add("/data/ZUN.K01", 4, 7));
  EXPECT_TRUE(report.created());
  ASSERT_OK(report.Add("/data/ZUN.K01", 7, 8));  // 7 was the last second
  ASSERT_OK(report.Add("/data/ZUN.K01", 10, 11));
  ASSERT_OK(report.Add("/data/ZUN.K02", 11, 12));  // another key: afresh
  EXPECT_EQ(fs.Contents("/Z.BLD"),
            "Duplicate record numbers for:\n/data/ZUN.K01\n"
            "Record number: 4\nRecord number: 7\n\n"
            "Record number: 8\n\n"
            "Record number: 10\nRecord number: 11\n\n"
            "Duplicate record numbers for:\n/data/ZUN.K02\n"
            "Record number: 11\nRecord number: 12\n\n");
}

TEST(BuildDuplicateReportTest, NoPairsNoFile) {
  testing::MemFileSystem fs;
  fs.SetContents("/Z.BLD", "an old report");
  {
    DuplicateReport report(fs, "/Z.BLD");
    EXPECT_FALSE(report.created());
  }
  EXPECT_EQ(fs.Contents("/Z.BLD"), "an old report");
  EXPECT_EQ(fs.OpenFileCount(), 0u);
}

}  // namespace
}  // namespace zuna::datfile
