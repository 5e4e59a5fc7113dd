// File import: a data file described as a declaration from its own header
// and descriptors, through the driver (37 on an open FILE) and directly.
#include <string>
#include <vector>

#include "runtime/datfile/dat_format.h"
#include "runtime/datfile/descriptors.h"
#include "runtime/datfile/file_import.h"
#include "runtime/values/code_page.h"
#include "tests/runtime/datfile/driver_test_util.h"

namespace zuna::datfile::driver_test {
namespace {

// The parts of a declaration the data file records.
void ExpectSameFields(const FileDecl& got, const FileDecl& want) {
  EXPECT_EQ(got.record_length, want.record_length);
  ASSERT_EQ(got.fields.size(), want.fields.size());
  for (size_t i = 0; i < want.fields.size(); ++i) {
    SCOPED_TRACE(want.fields[i].label);
    const FieldDecl& g = got.fields[i];
    const FieldDecl& w = want.fields[i];
    EXPECT_EQ(g.label, w.label);
    EXPECT_EQ(g.type, w.type);
    EXPECT_EQ(g.offset, w.offset);
    EXPECT_EQ(g.size, w.size);
    EXPECT_EQ(g.dimensions, w.dimensions);
    EXPECT_EQ(g.picture, w.picture);
    EXPECT_EQ(g.group, w.group);
    EXPECT_EQ(g.decimal_places, w.decimal_places);
  }
}

void ExpectSameKeys(const FileDecl& got, const FileDecl& want) {
  ASSERT_EQ(got.keys.size(), want.keys.size());
  for (size_t k = 0; k < want.keys.size(); ++k) {
    SCOPED_TRACE(want.keys[k].label);
    const KeyDecl& g = got.keys[k];
    const KeyDecl& w = want.keys[k];
    EXPECT_EQ(g.label, w.label);
    ASSERT_EQ(g.components.size(), w.components.size());
    for (size_t c = 0; c < w.components.size(); ++c) {
      EXPECT_EQ(g.components[c].field, w.components[c].field);
    }
    EXPECT_EQ(g.duplicates, w.duplicates || w.index);
    EXPECT_EQ(g.nocase, w.nocase);
    EXPECT_EQ(g.optional, w.optional);
    EXPECT_EQ(g.index, w.index);
  }
}

using DriverImportTest = DriverFixture;

TEST_F(DriverImportTest, ARegisterFileDescribesItselfAsTheDictionaryDeclaresIt) {
  auto zun = NewZun();
  ASSERT_EQ(CREATE(*zun), 0);
  FileDecl imported;
  ASSERT_EQ(IMPORT(*zun, &imported), 0);
  const FileDecl want = testing::ZunDeclaration();
  ExpectSameFields(imported, want);
  ExpectSameKeys(imported, want);
  EXPECT_EQ(imported.label, "ZUN");
  EXPECT_EQ(imported.name, "/ZUN.DAT");
  EXPECT_FALSE(imported.memo.has_value());
  EXPECT_EQ(imported.reclaim, want.reclaim);
  EXPECT_FALSE(imported.encrypt);
}

TEST_F(DriverImportTest, AnOpenFileIsRefusedWith37) {
  auto zun = OpenNewZun();
  FileDecl imported;
  imported.label = "untouched";
  EXPECT_EQ(IMPORT(*zun, &imported), 37);
  EXPECT_EQ(imported.label, "untouched");
  ASSERT_EQ(CLOSE(*zun), 0);
  EXPECT_EQ(IMPORT(*zun, &imported), 0);
}

TEST_F(DriverImportTest, GarbageIs36AndAMissingFile2) {
  auto zun = NewZun();
  fs_.SetContents("/ZUN.DAT", std::string(300, 'x'));
  FileDecl imported;
  EXPECT_EQ(IMPORT(*zun, &imported), 36);
  fs_.SetContents("/ZUN.DAT", "V3");
  EXPECT_EQ(IMPORT(*zun, &imported), 36);
  EXPECT_EQ(IMPORT(*zun, &imported, "/NONE"), 2);
}

TEST_F(DriverImportTest, DescriptorsCutShortAre36) {
  auto zun = NewZun();
  ASSERT_EQ(CREATE(*zun), 0);
  fs_.SetContents("/ZUN.DAT", fs_.Contents("/ZUN.DAT").substr(0, 120));
  FileDecl imported;
  EXPECT_EQ(IMPORT(*zun, &imported), 36);
}

// Each declaration is created, described, and the description opens the
// file it came from and reads its records.
TEST_F(DriverImportTest, ArraysGroupsPicturesMemosAndNumbersComeBack) {
  const FileDecl decls[] = {testing::ArrayDeclaration(), testing::MemoDeclaration(),
                            testing::NumericDeclaration()};
  for (const FileDecl& want : decls) {
    SCOPED_TRACE(want.label);
    DatFileInstance made(want, fs_);
    made.set_name("/" + want.label);
    ASSERT_EQ(CREATE(made), 0);
    ASSERT_EQ(OPEN(made), 0);
    ASSERT_EQ(ADD(made), 0);
    ASSERT_EQ(CLOSE(made), 0);
    FileDecl imported;
    ASSERT_OK(ImportDeclaration(fs_, "/" + want.label, &imported));
    // What the file keeps: no field held in memory only, and a STRING for
    // a type the format has no code for.
    FileDecl stored = want;
    std::erase_if(stored.fields, [](const FieldDecl& f) { return !f.stored; });
    for (FieldDecl& field : stored.fields) {
      if (FieldTypeCode(field) == dat::kTypeOther) field.type = FieldType::kString;
    }
    ExpectSameFields(imported, stored);
    ExpectSameKeys(imported, stored);
    ASSERT_EQ(imported.memo.has_value(), want.memo.has_value());
    if (want.memo) {
      EXPECT_EQ(imported.memo->label, want.memo->label);
      EXPECT_EQ(imported.memo->size, want.memo->size);
    }
    DatFileInstance described(imported, fs_);
    ASSERT_EQ(OPEN(described), 0);
    EXPECT_EQ(RECORDS(described), 1u);
    EXPECT_EQ(GET(described, 1u), 0);
  }
}

TEST_F(DriverImportTest, AnOwnerFileNeedsItsOwnerText) {
  DatFileInstance secret(testing::SecretDeclaration(), fs_);
  secret.set_name("/SEC");
  ASSERT_EQ(CREATE(secret), 0);
  FileDecl imported;
  EXPECT_EQ(IMPORT(secret, &imported), 36);
  EXPECT_STATUS_CODE(ImportDeclaration(fs_, "/SEC", &imported, values::W("Чужой")), 36);
  ASSERT_OK(ImportDeclaration(fs_, "/SEC", &imported, values::W("Секрет")));
  ExpectSameKeys(imported, testing::SecretDeclaration());
  EXPECT_TRUE(imported.encrypt);
  EXPECT_EQ(imported.owner, values::W("Секрет"));
  DatFileInstance described(imported, fs_);
  EXPECT_EQ(OPEN(described), 0);
}

}  // namespace
}  // namespace zuna::datfile::driver_test
