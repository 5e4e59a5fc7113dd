// OPEN, SHARE, CREATE, CLOSE and the errors one station meets opening a file.
#include <chrono>
#include <string>
#include <thread>

#include "runtime/datfile/file_names.h"
#include "tests/runtime/datfile/driver_test_util.h"

namespace zuna::datfile::driver_test {
namespace {

using DriverOpenTest = DriverFixture;

TEST_F(DriverOpenTest, CreateLaysDownDataAndKeyFilesAndLeavesTheFileClosed) {
  auto zun = NewZun();
  EXPECT_EQ(CREATE(*zun), 0);
  EXPECT_FALSE(zun->is_open());
  EXPECT_EQ(fs_.ListFiles(), (std::vector<std::string>{"/ZUN.DAT", "/ZUN.K01", "/ZUN.K02"}));
  EXPECT_EQ(fs_.Contents("/ZUN.DAT").size(), kZunDataOffset);
  EXPECT_EQ(fs_.Contents("/ZUN.K01").size(), 1024u);
}

TEST_F(DriverOpenTest, CreateIsExclusiveSoASecondStationOpensTheFirstOnesFile) {
  auto first = OpenNewZun();
  ASSERT_EQ(AddZun(*first, "Petrov", 100), 0);
  auto second = NewZun();
  OpResult result;
  Status status = Dispatch(Op::Create, *second, {}, &result);
  EXPECT_EQ(status.code(), 5);
  EXPECT_TRUE(status.IsAlreadyExists());
  EXPECT_EQ(RECORDS(*first), 1u);  // nothing was truncated
  OpArgs replace;
  replace.replace = true;
  EXPECT_EQ(CLOSE(*first), 0);
  EXPECT_OK(Dispatch(Op::Create, *second, replace, nullptr));
  EXPECT_EQ(OPEN(*second), 0);
  EXPECT_EQ(RECORDS(*second), 0u);
}

TEST_F(DriverOpenTest, NameRules) {
  auto zun = NewZun("");
  EXPECT_EQ(OPEN(*zun), 45);
  EXPECT_EQ(values::ERRORCODE(), 45);
  zun->set_name("/data/ZUN");  // ".DAT" added; companions follow
  EXPECT_EQ(CREATE(*zun), 0);
  EXPECT_TRUE(fs_.Exists("/data/ZUN.DAT"));
  EXPECT_TRUE(fs_.Exists("/data/ZUN.K02"));
  zun->set_name("/data/zun.dat");  // the real spelling is found
  EXPECT_EQ(OPEN(*zun), 0);
  EXPECT_EQ(zun->driver_state().data_path, "/data/ZUN.DAT");
}

TEST_F(DriverOpenTest, OpenErrors) {
  auto zun = NewZun("/ZUN");
  EXPECT_EQ(OPEN(*zun), 2);
  EXPECT_EQ(values::ERRORCODE(), 2);

  fs_.set_strict_directories(true);
  auto nowhere = NewZun("/missing/ZUN");
  EXPECT_EQ(OPEN(*nowhere), 3);
  fs_.set_strict_directories(false);

  EXPECT_EQ(CREATE(*zun), 0);
  EXPECT_EQ(OPEN(*zun), 0);
  EXPECT_EQ(OPEN(*zun), 52);  // already open
  EXPECT_EQ(CLOSE(*zun), 0);
  EXPECT_EQ(CLOSE(*zun), 0);  // closing a closed FILE does nothing
  EXPECT_EQ(NEXT(*zun), 37);
}

TEST_F(DriverOpenTest, DamagedOrMissingFilesAndEverythingOpenedIsClosedAgain) {
  auto zun = NewZun();
  ASSERT_EQ(CREATE(*zun), 0);
  const std::string dat = fs_.Contents("/ZUN.DAT");

  std::string bad = dat;
  bad[0] = 'X';  // signature
  fs_.SetContents("/ZUN.DAT", bad);
  EXPECT_EQ(OPEN(*zun), 36);
  fs_.SetContents("/ZUN.DAT", dat);

  const std::string k2 = fs_.Contents("/ZUN.K02");
  ASSERT_OK(fs_.Remove("/ZUN.K02"));
  EXPECT_EQ(OPEN(*zun), 46);
  EXPECT_FALSE(zun->is_open());
  EXPECT_EQ(fs_.OpenFileCount(), 0u);
  fs_.SetContents("/ZUN.K02", k2);
  EXPECT_EQ(OPEN(*zun), 0);
}

// Another station that is creating the file has made the data file but
// not yet its keys: an open waits for them rather than call them damaged.
TEST_F(DriverOpenTest, OpenOfAFileBeingCreatedWaitsForItsKeys) {
  auto zun = NewZun();
  ASSERT_EQ(CREATE(*zun), 0);
  const std::string k1 = fs_.Contents("/ZUN.K01");
  ASSERT_OK(fs_.Remove("/ZUN.K01"));
  std::thread creator([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    fs_.SetContents("/ZUN.K01", k1);
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(OPEN(*zun), 0);
  const double waited = std::chrono::duration<double>(
                            std::chrono::steady_clock::now() - start).count();
  creator.join();
  EXPECT_GE(waited, 0.1);
  EXPECT_EQ(CLOSE(*zun), 0);
}

// The creator's data file exists for a moment before its header is in it.
TEST_F(DriverOpenTest, OpenOfADataFileStillEmptyWaitsForItsHeader) {
  auto zun = NewZun();
  ASSERT_EQ(CREATE(*zun), 0);
  const std::string dat = fs_.Contents("/ZUN.DAT");
  fs_.SetContents("/ZUN.DAT", "");
  std::thread creator([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    fs_.SetContents("/ZUN.DAT", dat);
  });
  EXPECT_EQ(OPEN(*zun), 0);
  creator.join();
  EXPECT_EQ(CLOSE(*zun), 0);
  // One that stays empty is invalid after the wait.
  fs_.SetContents("/ZUN.DAT", "");
  EXPECT_EQ(OPEN(*zun), 36);
}

// A file with records is no file being created: a missing key is 46 at once.
TEST_F(DriverOpenTest, AMissingKeyOfAFileWithRecordsIsDamageAtOnce) {
  CreateThreePeople();
  ASSERT_OK(fs_.Remove("/ZUN.K01"));
  auto zun = NewZun();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(OPEN(*zun), 46);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                .count(),
            0.5);
}

TEST_F(DriverOpenTest, StructureMismatchIs47WithTheList) {
  auto zun = NewZun();
  ASSERT_EQ(CREATE(*zun), 0);
  FileDecl longer = testing::ZunDeclaration();
  longer.record_length = 42;
  longer.fields.push_back(longer.fields[2]);
  longer.fields.back().label = "ZUN:DATA2";
  longer.fields.back().offset = 38;
  DatFileInstance other(longer, fs_);
  other.set_name("/ZUN");
  EXPECT_EQ(OPEN(other), 47);
  ASSERT_FALSE(other.driver_state().mismatches.empty());
  EXPECT_EQ(other.driver_state().mismatches.front().attribute, "SIZE");
}

TEST_F(DriverOpenTest, MissingMemoIs73) {
  DatFileInstance mem(testing::MemoDeclaration(), fs_);
  mem.set_name("/MEM");
  ASSERT_EQ(CREATE(mem), 0);
  ASSERT_OK(fs_.Remove("/MEM.MEM"));
  EXPECT_EQ(OPEN(mem), 73);
  EXPECT_EQ(fs_.OpenFileCount(), 0u);
}

TEST_F(DriverOpenTest, KeyOver245BytesRefusesTheBindingWith88) {
  FileDecl decl;
  decl.label = "BIG";
  decl.record_length = 246;
  FieldDecl text;
  text.label = "BIG:Text";
  text.type = FieldType::kString;
  text.size = 246;
  decl.fields = {text};
  KeyDecl key;
  key.label = "BIG:TextKey";
  key.components = {{0}};
  decl.keys = {key};
  DatFileInstance big(decl, fs_);
  big.set_name("/BIG");
  EXPECT_EQ(OPEN(big), 88);
  EXPECT_EQ(CREATE(big), 88);
}

TEST_F(DriverOpenTest, ReadOnlyOpenRefusesEveryWriteWith5WithoutTouchingTheFile) {
  auto zun = OpenNewZun();
  ASSERT_EQ(AddZun(*zun, "Sidorov", 50), 0);
  ASSERT_EQ(CLOSE(*zun), 0);
  const std::string before = fs_.Contents("/ZUN.DAT");
  ASSERT_EQ(OPEN(*zun, kAccessReadOnly | kShareDenyWrite), 0);
  ASSERT_EQ(GET(*zun, 1u), 0);
  EXPECT_EQ(ADD(*zun), 5);
  EXPECT_EQ(PUT(*zun), 5);
  EXPECT_EQ(DELETE(*zun), 5);
  EXPECT_EQ(APPEND(*zun), 5);
  EXPECT_EQ(EMPTY(*zun), 5);
  EXPECT_EQ(fs_.Contents("/ZUN.DAT"), before);
}

TEST_F(DriverOpenTest, ShareModeMakesTheFileShared) {
  auto zun = NewZun();
  ASSERT_EQ(CREATE(*zun), 0);
  ASSERT_EQ(SHARE(*zun), 0);
  EXPECT_TRUE(zun->driver_state().shared);
  EXPECT_EQ(LOCK(*zun), 0);
  EXPECT_EQ(UNLOCK(*zun), 0);
  EXPECT_EQ(CLOSE(*zun), 0);
  // 0x00 shares read and write like 0x40 but is not "shared".
  ASSERT_EQ(OPEN(*zun, kAccessReadWrite | 0x00), 0);
  EXPECT_FALSE(zun->driver_state().shared);
}

TEST_F(DriverOpenTest, RealFilesOnDisk) {
  testing::TempDir dir;
  DatFileInstance zun(testing::ZunDeclaration(), PosixFileSystem());
  zun.set_name(dir.File("ZUN"));
  ASSERT_EQ(CREATE(zun), 0);
  ASSERT_EQ(OPEN(zun), 0);
  SetZun(zun, "Ivanov", 76038);
  ASSERT_EQ(ADD(zun), 0);
  ASSERT_EQ(CLOSE(zun), 0);
  ASSERT_EQ(OPEN(zun, kAccessReadOnly | kShareDenyNone), 0);
  SetZun(zun, "Ivanov", 0);
  ASSERT_EQ(GET(zun, kByName), 0);
  EXPECT_EQ(ZunData(zun), 76038);
}

}  // namespace
}  // namespace zuna::datfile::driver_test
