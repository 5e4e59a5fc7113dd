// SET / NEXT / PREVIOUS / SKIP / EOF / BOF in file and key order, positions,
// pointers and REGET.
#include <string>

#include "tests/runtime/datfile/driver_test_util.h"

namespace zuna::datfile::driver_test {
namespace {

class DriverSequenceTest : public DriverFixture {
 protected:
  // 1 Petrov 300, 2 Abramov 100, 3 Petrov 100, 4 Zaitsev 200, 5 abramov 300
  void SetUp() override {
    zun_ = OpenNewZun();
    ASSERT_EQ(AddZun(*zun_, "Petrov", 300), 0);
    ASSERT_EQ(AddZun(*zun_, "Abramov", 100), 0);
    ASSERT_EQ(AddZun(*zun_, "Petrov", 100), 0);
    ASSERT_EQ(AddZun(*zun_, "Zaitsev", 200), 0);
    ASSERT_EQ(AddZun(*zun_, "abramov", 300), 0);
  }
  std::unique_ptr<DatFileInstance> zun_;
};

TEST_F(DriverSequenceTest, KeyOrderBreaksTiesByRecordNumber) {
  EXPECT_EQ(WalkKey(*zun_, kByDate), (std::vector<uint32_t>{2, 3, 4, 1, 5}));
  EXPECT_EQ(WalkKey(*zun_, kByName), (std::vector<uint32_t>{2, 5, 1, 3, 4}));
  // SET to the start, then PREVIOUS: the key backwards from its last entry.
  EXPECT_EQ(WalkKey(*zun_, kByName, false), (std::vector<uint32_t>{4, 3, 1, 5, 2}));
}

TEST_F(DriverSequenceTest, FileOrderSkipsDeletedSlots) {
  ASSERT_EQ(GET(*zun_, 3u), 0);
  ASSERT_EQ(DELETE(*zun_), 0);
  ASSERT_EQ(GET(*zun_, 5u), 0);
  ASSERT_EQ(DELETE(*zun_), 0);  // logical EOF moves down to 4
  EXPECT_EQ(WalkFile(*zun_), (std::vector<uint32_t>{1, 2, 4}));
  EXPECT_EQ(WalkFile(*zun_, false), (std::vector<uint32_t>{4, 2, 1}));
  EXPECT_EQ(SEND(*zun_, "IGNORESTATUS=ON"), "ON");
  EXPECT_EQ(WalkFile(*zun_), (std::vector<uint32_t>{1, 2, 3, 4, 5}));
}

TEST_F(DriverSequenceTest, SetFromARecordNumberOrAKeyValue) {
  EXPECT_EQ(Walk(*zun_, [&] { return SET(*zun_, 3u); }), (std::vector<uint32_t>{3, 4, 5}));
  EXPECT_EQ(Walk(*zun_, [&] { return SET(*zun_, 3u); }, false), (std::vector<uint32_t>{3, 2, 1}));
  EXPECT_EQ(Walk(*zun_, [&] { return SET(*zun_, 99u); }), (std::vector<uint32_t>{5}));

  // Each walk reads records into the buffer: the value is set anew.
  auto from_petrov = [&] {
    SetZun(*zun_, "PETROV", 0);
    return SET(*zun_, kByName, kByName);
  };
  EXPECT_EQ(Walk(*zun_, from_petrov), (std::vector<uint32_t>{1, 3, 4}));
  EXPECT_EQ(Walk(*zun_, from_petrov, false), (std::vector<uint32_t>{3, 1, 5, 2}));
  EXPECT_EQ(Walk(*zun_, [&] {
              SetZun(*zun_, "Petrov", 0);
              return SET(*zun_, kByName, kByName, 2u);
            }),
            (std::vector<uint32_t>{3, 4}));
  EXPECT_EQ(Walk(*zun_, [&] {
              SetZun(*zun_, "Petrov", 0);
              return SET(*zun_, kByName, kByName, 2u);
            }, false),
            (std::vector<uint32_t>{1, 5, 2}));
  SetZun(*zun_, "Q", 0);  // between values
  EXPECT_EQ(Walk(*zun_, [&] { return SET(*zun_, kByName, kByName); }),
            (std::vector<uint32_t>{4}));
  EXPECT_EQ(Walk(*zun_, [&] { return SET(*zun_, kByDate, 4u); }),
            (std::vector<uint32_t>{1, 5}));
  SetZun(*zun_, "", 150);
  EXPECT_EQ(Walk(*zun_, [&] { return SET(*zun_, kByDate, FileOrder{}); }),
            (std::vector<uint32_t>{4, 5}));  // file order from record 4
}

TEST_F(DriverSequenceTest, EdgesOfASequence) {
  EXPECT_EQ(NEXT(*zun_), 33);  // no SET yet
  ASSERT_EQ(SET(*zun_, kByDate), 0);
  EXPECT_FALSE(EOF_(*zun_));
  ASSERT_EQ(NEXT(*zun_), 0);
  EXPECT_EQ(POINTER(*zun_), 2u);
  EXPECT_TRUE(BOF(*zun_));
  EXPECT_EQ(PREVIOUS(*zun_), 33);
  EXPECT_EQ(POINTER(*zun_), 2u);  // the record stays current
  ASSERT_EQ(NEXT(*zun_), 0);  // back from before the start: the first again
  EXPECT_EQ(POINTER(*zun_), 2u);
  ASSERT_EQ(SKIP(*zun_, 3), 0);  // 3, 4, 1 passed without reading
  EXPECT_EQ(POINTER(*zun_), 2u);
  ASSERT_EQ(NEXT(*zun_), 0);
  EXPECT_EQ(POINTER(*zun_), 5u);
  EXPECT_TRUE(EOF_(*zun_));
  ASSERT_EQ(SKIP(*zun_, -2), 0);
  ASSERT_EQ(PREVIOUS(*zun_), 0);
  EXPECT_EQ(POINTER(*zun_), 3u);
  // SKIP 3 at the last record runs off the end and leaves EOF true.
  ASSERT_EQ(SET(*zun_), 0);
  ASSERT_EQ(PREVIOUS(*zun_), 0);
  EXPECT_EQ(POINTER(*zun_), 5u);
  EXPECT_EQ(SKIP(*zun_, 3), 33);
  EXPECT_TRUE(EOF_(*zun_));
  EXPECT_EQ(NEXT(*zun_), 33);
  ASSERT_EQ(PREVIOUS(*zun_), 0);
  EXPECT_EQ(POINTER(*zun_), 5u);
}

TEST_F(DriverSequenceTest, EmptyFileEndsAtOnce) {
  auto empty = OpenNewZun("/EMPTY");
  ASSERT_EQ(SET(*empty, kByName), 0);
  EXPECT_TRUE(EOF_(*empty));
  EXPECT_TRUE(BOF(*empty));
  EXPECT_EQ(NEXT(*empty), 33);
  ASSERT_EQ(SET(*empty), 0);
  EXPECT_EQ(PREVIOUS(*empty), 33);
}

TEST_F(DriverSequenceTest, DeletingTheCurrentRecordKeepsTheSequenceGoing) {
  ASSERT_EQ(SET(*zun_, kByName), 0);
  ASSERT_EQ(NEXT(*zun_), 0);
  ASSERT_EQ(NEXT(*zun_), 0);
  ASSERT_EQ(POINTER(*zun_), 5u);
  ASSERT_EQ(DELETE(*zun_), 0);
  ASSERT_EQ(NEXT(*zun_), 0);
  EXPECT_EQ(POINTER(*zun_), 1u);
}

TEST_F(DriverSequenceTest, PositionsPointersAndReget) {
  EXPECT_EQ(POINTER(*zun_), 5u);  // the record ADD wrote stays current
  ASSERT_EQ(GET(*zun_, 3u), 0);
  const std::string file_position = POSITION(*zun_);
  EXPECT_EQ(file_position, std::string("\x03\x00\x00\x00", 4));
  const std::string key_position = POSITION(*zun_, kByName);
  ASSERT_EQ(key_position.size(), 34u);  // record number + 30-byte value
  EXPECT_EQ(key_position.substr(0, 4), file_position);
  EXPECT_EQ(key_position.substr(4, 6), "PETROV");  // NOCASE value
  EXPECT_EQ(POINTER(*zun_, kByName), 4u);
  EXPECT_EQ(POINTER(*zun_, kByDate), 2u);

  ASSERT_EQ(GET(*zun_, 1u), 0);
  ASSERT_EQ(REGET(*zun_, file_position), 0);
  EXPECT_EQ(POINTER(*zun_), 3u);
  ASSERT_EQ(GET(*zun_, 1u), 0);
  ASSERT_EQ(REGET(*zun_, kByName, key_position), 0);
  EXPECT_EQ(POINTER(*zun_), 3u);
  EXPECT_EQ(REGET(*zun_, kByName, "xx"), 35);

  EXPECT_EQ(Walk(*zun_, [&] { return RESET(*zun_, kByName, key_position); }),
            (std::vector<uint32_t>{3, 4}));
  EXPECT_EQ(Walk(*zun_, [&] { return RESET(*zun_, file_position); }, false),
            (std::vector<uint32_t>{3, 2, 1}));
  ASSERT_EQ(GET(*zun_, kByDate, 4u), 0);  // fourth in date order
  EXPECT_EQ(POINTER(*zun_), 1u);
}

}  // namespace
}  // namespace zuna::datfile::driver_test
