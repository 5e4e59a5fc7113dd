// The file manager's opening and closing: lazy opens, use counting,
// UseFile, and the recovery rules of the physical open.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/framework/data/file_manager_fixture.h"

namespace zuna::framework::test {
namespace {

using values::W;

class FileManagerOpenTest : public FileManagerTest {};

TEST_F(FileManagerOpenTest, LazyOpenTouchesNothingAndKeepsTheCallersBuffer) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*zun, {zuna::testing::ZunRecord("Ivanov", 76038, 11),
                    zuna::testing::ZunRecord("Petrov", 80000, 22)});
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.Init();

  EXPECT_EQ(access.Open(), Level::Benign);
  EXPECT_EQ(access.GetOpened(), 1);
  EXPECT_FALSE(zun->is_open());  // counted only
  EXPECT_EQ(access.Used, 0);

  // The caller's record survives the physical open, even when something
  // inside the open spoils the buffer.
  SetRecord(*zun, zuna::testing::ZunRecord("Anybody", 80000, 0));
  const std::string before(zun->record().data(), zun->record().size());
  access.scribble_on_open = true;
  EXPECT_EQ(access.UseFile(UseType::Use), Level::Benign);
  EXPECT_TRUE(zun->is_open());
  EXPECT_EQ(std::string(zun->record().data(), zun->record().size()), before);
  EXPECT_EQ(access.GetOpened(), 1);
  access.scribble_on_open = false;

  // So a fetch by the key value the caller set finds its record.
  EXPECT_EQ(access.Fetch(Key{0}), Level::Benign);
  EXPECT_EQ(TextAt(zun->record(), 0, 30), "Petrov");
  EXPECT_EQ(LongAt(zun->record(), 34), 22);

  EXPECT_EQ(access.Close(), Level::Benign);
  EXPECT_FALSE(zun->is_open());
  EXPECT_TRUE(Shown().empty());
  EXPECT_TRUE(host_.Assertions().empty());
}

TEST_F(FileManagerOpenTest, FirstNextOpensALazyFile) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*zun, {zuna::testing::ZunRecord("Ivanov", 76038)});
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.Init();
  ASSERT_EQ(access.Open(), Level::Benign);
  EXPECT_FALSE(zun->is_open());
  access.UseFile(UseType::Use);
  ASSERT_EQ(datfile::SET(*zun), 0);
  EXPECT_EQ(access.Next(), Level::Benign);
  EXPECT_EQ(TextAt(zun->record(), 0, 30), "Ivanov");
  // Past the last record: Notify, AtEOF, nothing shown.
  EXPECT_EQ(access.Next(), Level::Notify);
  EXPECT_EQ(access.GetEOF(), 1);
  EXPECT_TRUE(Shown().empty());
  access.Close();
}

TEST_F(FileManagerOpenTest, UseBeforeAnyOpenOpensAndCountsOnceWithTheOverride) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*zun, {zuna::testing::ZunRecord("Ivanov", 76038)});
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.Init();
  access.UseFile(UseType::Use);
  EXPECT_TRUE(zun->is_open());
  EXPECT_EQ(access.GetOpened(), 1);
  EXPECT_EQ(access.Initialized, 1);
  ASSERT_EQ(access.Keys->size(), 2u);
  // A second initialise does nothing more.
  access.UseFile(UseType::Initialize);
  EXPECT_EQ(access.GetOpened(), 1);
  EXPECT_EQ(access.Keys->size(), 2u);
  access.Close();
  EXPECT_FALSE(zun->is_open());
  EXPECT_TRUE(Shown().empty());
}

TEST_F(FileManagerOpenTest, UseBeforeOpenWithoutTheOverrideIsFatal42) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*zun, {});
  FileManager access;
  access.FileNameValue = "zun";
  access.SetErrors(errors_);
  access.Init();
  access.Init(*zun, errors_);
  EXPECT_EQ(access.Next(), Level::Fatal);
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].request.caption, W("Ошибка использования файла"));
  EXPECT_EQ(shown[0].request.text,
            W("Попытка работы с файлом (zun) до его открытия ") +
                std::string(kFatalSuffix));
  EXPECT_EQ(host_.Stops().size(), 1u);
  EXPECT_FALSE(zun->is_open());
}

TEST_F(FileManagerOpenTest, OpensAndClosesAreCountedUntilTheLastClose) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*zun, {});
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.Init();
  access.LazyOpen = 0;
  EXPECT_EQ(access.Open(), Level::Benign);
  EXPECT_TRUE(zun->is_open());
  EXPECT_EQ(access.Open(), Level::Benign);
  EXPECT_EQ(access.GetOpened(), 2);
  access.Close();
  EXPECT_TRUE(zun->is_open());
  access.Close();
  EXPECT_FALSE(zun->is_open());
  EXPECT_EQ(access.GetOpened(), 0);
  access.Close();  // one close too many changes nothing
  EXPECT_EQ(access.GetOpened(), 0);
  EXPECT_TRUE(host_.MessageBoxes().empty());
}

TEST_F(FileManagerOpenTest, MissingFileIsCreatedAndOpenedOnTheSecondAttempt) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.script_opener = true;
  access.Init();
  access.LazyOpen = 0;
  EXPECT_EQ(access.Open(), Level::Benign);
  EXPECT_TRUE(zun->is_open());
  ASSERT_NE(access.scripted, nullptr);
  EXPECT_EQ(access.scripted->modes.size(), 2u);  // not found, then open
  EXPECT_TRUE(std::ifstream(dir_.File("ZUN.DAT")).good());
  EXPECT_TRUE(std::ifstream(dir_.File("ZUN.K01")).good());
  EXPECT_EQ(access.Used, 1);
  EXPECT_TRUE(host_.MessageBoxes().empty());
  access.Close();
}

TEST_F(FileManagerOpenTest, MissingFileWithoutCreateIsFatal26) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.create = 0;
  access.Init();
  access.LazyOpen = 0;
  EXPECT_EQ(access.Open(), Level::Fatal);
  EXPECT_FALSE(zun->is_open());
  EXPECT_EQ(access.GetOpened(), 0);
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].request.caption, W("Ошибка доступа к файлу"));
  EXPECT_EQ(shown[0].request.text,
            W("Файл zun не может быть открыт.  Ошибка: File Not Found (2).") +
                std::string(kFatalSuffix));
  EXPECT_EQ(host_.Stops().size(), 1u);
  EXPECT_FALSE(std::ifstream(dir_.File("ZUN.DAT")).good());
}

TEST_F(FileManagerOpenTest, TryOpenRecordsTheFailureSilently) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.create = 0;
  access.Init();
  access.LazyOpen = 0;
  EXPECT_EQ(access.TryOpen(), Level::Notify);
  EXPECT_TRUE(host_.MessageBoxes().empty());
  EXPECT_EQ(access.LastError, Msg::OpenFailed);
  // Shown later with the error of the open, not of what ran since.
  values::ClearError();
  EXPECT_EQ(access.Throw(), Level::Fatal);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_NE(Shown()[0].request.text.find("File Not Found (2)"),
            std::string::npos);
}

TEST_F(FileManagerOpenTest, RecordLimitReopensReadOnlyWithMessage32) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*zun, {zuna::testing::ZunRecord("Ivanov", 76038)});
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.scripted_answers = {94};
  access.Init();
  access.LazyOpen = 0;
  EXPECT_EQ(access.Open(), Level::Benign);
  EXPECT_TRUE(zun->is_open());
  EXPECT_EQ(access.OpenMode, 0x40);
  ASSERT_NE(access.scripted, nullptr);
  EXPECT_EQ(access.scripted->modes, (std::vector<uint32_t>{0x42, 0x40}));
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].request.caption,
            W("Достигнуто разрешенное количество записей"));
  EXPECT_EQ(shown[0].request.text,
            W("Невозможна запись в файл zun. Файл был открыт только для "
              "чтения."));
  // Later writes fail in the driver, with the insert's message.
  SetRecord(*zun, zuna::testing::ZunRecord("Sidorov", 80000));
  EXPECT_EQ(access.Insert(), Level::Notify);
  ASSERT_EQ(Shown().size(), 2u);
  EXPECT_EQ(Shown()[1].request.caption, W("Ошибка добавления записи"));
  EXPECT_EQ(datfile::RECORDS(*zun), 1u);
  access.Close();
}

TEST_F(FileManagerOpenTest, RecordLimitOnAReadOnlyModeIsFatal26) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*zun, {});
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.scripted_answers = {94};
  access.Init();
  access.LazyOpen = 0;
  access.OpenMode = 0x40;
  access.OpenModeOverridden = 1;
  EXPECT_EQ(access.Open(), Level::Fatal);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].request.caption, W("Ошибка доступа к файлу"));
}

TEST_F(FileManagerOpenTest, AccessDeniedSendsRecoverThenReopensReadOnlyWith2) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*zun, {zuna::testing::ZunRecord("Ivanov", 76038)});
  // Another station has the file open for writing and denies writing.
  auto other = MakeFile(zuna::testing::ZunDeclaration());
  ASSERT_EQ(datfile::OPEN(*other, 0x22), 0) << values::ERROR();

  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.script_opener = true;
  access.Init();
  access.LazyOpen = 0;
  EXPECT_EQ(access.Open(), Level::Benign);
  EXPECT_TRUE(zun->is_open());
  EXPECT_EQ(access.OpenMode, 0x40);
  EXPECT_EQ(access.scripted->modes,
            (std::vector<uint32_t>{0x42, 0x42, 0x40}));
  EXPECT_EQ(zun->driver_state().switches.recover_seconds, 10u);
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].request.caption, W("Доступ запрещен"));
  EXPECT_EQ(shown[0].request.text,
            W("Невозможно производить запись в файл zun поэтому "
              "осуществляется только чтение."));
  access.Close();
  EXPECT_EQ(datfile::CLOSE(*other), 0);
}

TEST_F(FileManagerOpenTest, AccessDeniedEvenReadOnlyIsFatal26) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*zun, {});
  auto other = MakeFile(zuna::testing::ZunDeclaration());
  ASSERT_EQ(datfile::OPEN(*other, 0x12), 0);  // deny all
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.script_opener = true;
  access.Init();
  access.LazyOpen = 0;
  EXPECT_EQ(access.Open(), Level::Fatal);
  // Write denied (id 2) once, then read only is refused too.
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].request.caption, W("Доступ запрещен"));
  EXPECT_EQ(shown[1].request.caption, W("Ошибка доступа к файлу"));
  EXPECT_NE(shown[1].request.text.find("Access Denied (5)"),
            std::string::npos);
  EXPECT_FALSE(zun->is_open());
  EXPECT_EQ(datfile::CLOSE(*other), 0);
}

TEST_F(FileManagerOpenTest, CutKeyFileIsRebuiltAfterMessage30) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*zun, {zuna::testing::ZunRecord("Ivanov", 76038),
                    zuna::testing::ZunRecord("Petrov", 70000)});
  std::ofstream(dir_.File("ZUN.K01"), std::ios::trunc).close();

  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.Init();
  access.LazyOpen = 0;
  EXPECT_EQ(access.Open(), Level::Benign);
  EXPECT_TRUE(zun->is_open());
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].request.caption, W("Неверный ключ"));
  EXPECT_EQ(shown[0].request.text,
            W("Файл zun - ключ испорчен. Ключ необходимо перестроить."));
  // The rebuilt key orders by birth date.
  ASSERT_EQ(datfile::SET(*zun, Key{0}), 0);
  EXPECT_EQ(access.Next(), Level::Benign);
  EXPECT_EQ(TextAt(zun->record(), 0, 30), "Petrov");
  access.Close();
}

TEST_F(FileManagerOpenTest, CutKeyFileWithTryOpenIsOnlyRecorded) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*zun, {zuna::testing::ZunRecord("Ivanov", 76038)});
  std::ofstream(dir_.File("ZUN.K02"), std::ios::trunc).close();
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  access.Init();
  access.LazyOpen = 0;
  EXPECT_EQ(access.TryOpen(), Level::Notify);
  EXPECT_EQ(access.LastError, Msg::KeyCorrupt);
  EXPECT_TRUE(host_.MessageBoxes().empty());
  EXPECT_FALSE(zun->is_open());
}

TEST_F(FileManagerOpenTest, TwoAttemptsUsedUpAreFatal26) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  CreateWith(*zun, {});
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  // Each attempt gets the record limit; the second has nothing left.
  access.scripted_answers = {94, 94};
  access.Init();
  access.LazyOpen = 0;
  access.OpenModeOverridden = 1;
  access.OpenMode = 0x42;
  EXPECT_EQ(access.Open(), Level::Fatal);
  const auto shown = Shown();
  ASSERT_EQ(shown.size(), 2u);  // 32, then 26 (already read only)
  EXPECT_EQ(shown[1].request.caption, W("Ошибка доступа к файлу"));
}

TEST_F(FileManagerOpenTest, FileNameVariableNamesTheFileAndTheMessages) {
  auto zun = MakeFile(zuna::testing::ZunDeclaration());
  DictionaryAccess access(*zun, errors_, ZunKeys(), "zun");
  char name[64];
  const std::string path = dir_.File("OTHER");
  std::memset(name, ' ', sizeof name);
  std::memcpy(name, path.data(), path.size());
  access.FileName = values::RefString(name, sizeof name);
  access.create = 0;
  access.Init();
  access.LazyOpen = 0;
  EXPECT_EQ(access.GetName(), path);
  EXPECT_EQ(access.Open(), Level::Fatal);
  EXPECT_EQ(zun->name(), path);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_NE(Shown()[0].request.text.find(path), std::string::npos);
}

}  // namespace
}  // namespace zuna::framework::test
