#include "framework/window/settings_file.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "framework/data/scripted_host.h"
#include "framework/window/profile_file.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

namespace zuna::framework {
namespace {

using testing::ReadFileBytes;
using testing::WriteFileBytes;

class SettingsFileTest : public ::testing::Test {
 protected:
  SettingsFileTest() : installed_(host_) {}
  std::string Path() const { return dir_.File("Zuna.INI"); }

  ScriptedHost host_;
  ScopedHost installed_;
  testing::TempDir dir_;
};

TEST_F(SettingsFileTest, MissingFileGivesNoSectorsAndKillWritesTheBookkeeping) {
  INIClass ini;
  ini.Init(Path());
  EXPECT_TRUE(ini.SectorsSnapshot().empty());
  ini.Update();
  ini.Kill();
  EXPECT_EQ(ReadFileBytes(Path()), "[__Dont_Touch_Me__]\nSectors=0\n");
  ini.Kill();  // twice is harmless
  EXPECT_TRUE(host_.MessageBoxes().empty());
}

TEST_F(SettingsFileTest, BookkeepingSurvivesARestart) {
  {
    INIClass ini;
    ini.Init(Path());
    ini.AddSector("Main", "Window", "Pos");
    ini.AddSector("Main", "List", "Cols");
    ini.AddSector("Main", "Window", "Size");
    ini.Kill();
  }
  EXPECT_EQ(ReadFileBytes(Path()),
            "[__Dont_Touch_Me__]\nSectors=2\nSectors_1=Main,Window,Size\n"
            "Sectors_2=Main,List,Cols\n");
  INIClass ini;
  ini.Init(Path());
  const std::vector<SectorsRow> rows = ini.SectorsSnapshot();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].Family, "Main");
  EXPECT_EQ(rows[1].Item, "List");
  EXPECT_EQ(rows[1].Type, "Cols");
  EXPECT_EQ(ini.GetSector("Main", "Window"), "Size");
  EXPECT_EQ(ini.GetFamily("List"), "Main");
  EXPECT_EQ(ini.GetSectors("Main").size(), 2u);
  EXPECT_EQ(ini.GetSectors("Other").size(), 0u);
}

TEST_F(SettingsFileTest, CountBeyondTheStoredRowsGivesEmptyRows) {
  WriteFileBytes(Path(),
            "[__dont_touch_me__]\nsectors=3\nSECTORS_2=a,b,c,d\n");
  INIClass ini;
  ini.Init(Path());
  const std::vector<SectorsRow> rows = ini.SectorsSnapshot();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].Family, "");
  EXPECT_EQ(rows[1].Family, "a");
  EXPECT_EQ(rows[1].Type, "c");
  EXPECT_EQ(rows[2].Item, "");
}

TEST_F(SettingsFileTest, KillKeepsForeignEntriesByteForByte) {
  const std::string foreign =
      "; a comment\r\n[V21]\r\nVANTMP=/tmp\r\n\r\n[Other] \r\n a = b \r\n";
  WriteFileBytes(Path(), foreign);
  INIClass ini;
  ini.Init(Path());
  ini.Update("Other", "c", "d");
  ini.Remove("Other", "c");
  ini.Kill();
  EXPECT_EQ(ReadFileBytes(Path()),
            foreign + "[__Dont_Touch_Me__]\r\nSectors=0\r\n");
}

TEST_F(SettingsFileTest, FetchAndUpdate) {
  INIClass ini;
  ini.Init(Path());
  EXPECT_EQ(ini.Fetch("Main", "Title", "none"), "none");
  EXPECT_EQ(ini.TryFetch("Main", "Title"), "");
  ini.Update("Main", "Title", "Zuna");
  EXPECT_EQ(ini.Fetch("MAIN", "title", "none"), "Zuna");
  ini.Update("Main", "Empty", "");
  EXPECT_EQ(ini.Fetch("Main", "Empty", "none"), "");  // present, empty
  ini.Update("Main", "Pos", "10,20,,40");
  EXPECT_EQ(ini.FetchField("Main", "Pos", 1), "10");
  EXPECT_EQ(ini.FetchField("Main", "Pos", 3), "");
  EXPECT_EQ(ini.FetchField("Main", "Pos", 4), "40");
  EXPECT_EQ(ini.FetchField("Main", "Pos", 5), "");
  EXPECT_EQ(ini.FetchField("Main", "Pos", 0), "");
  ini.Remove("Main", "Pos");
  EXPECT_EQ(ini.TryFetch("Main", "Pos"), "");
  ini.Update("Main", "Long", std::string(1500, 'z'));
  EXPECT_EQ(ini.TryFetch("Main", "Long"), std::string(1024, 'z'));
  // Another file by name.
  const std::string other = dir_.File("other.ini");
  ini.Update("S", "k", "v", other);
  EXPECT_EQ(ini.Fetch("S", "k", "", other), "v");
  EXPECT_EQ(ini.TryFetch("S", "k"), "");
  ini.Kill();
}

TEST_F(SettingsFileTest, QueuesAsCountedLists) {
  struct Column {
    std::string Name;
    std::string Width;
  };
  INIClass ini;
  ini.Init(Path());
  ini.UpdateQueue("List", "Col",
                  std::vector<Column>{{"FIO", "120"}, {"DATA", "40"},
                                      {"EXTRA", "9"}},
                  &Column::Name, &Column::Width);
  ini.UpdateQueue("List", "Col", std::vector<Column>{{"FIO", "130"}},
                  &Column::Name, &Column::Width);
  // The longer list's rows 2 and 3 stay behind the new count.
  EXPECT_EQ(ini.TryFetch("List", "Col"), "1");
  EXPECT_EQ(ini.TryFetch("List", "Col_3"), "EXTRA,9");
  std::vector<Column> read;
  ini.FetchQueue("List", "Col", read, &Column::Name, &Column::Width);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].Name, "FIO");
  EXPECT_EQ(read[0].Width, "130");
  // One field: the rest of the value is ignored.
  std::vector<Column> names;
  ini.FetchQueue("List", "Col", names, &Column::Name);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].Width, "");
  ini.Kill();
}

TEST_F(SettingsFileTest, TableModeIsNotSupported) {
  INIClass ini;
  ini.Init(Path(), kTableStore);
  EXPECT_EQ(ini.Fetch("A", "b", "default"), "");
  ini.Update("A", "b", "c");
  const auto assertions = host_.Assertions();
  // Init's read of the bookkeeping, Fetch and Update.
  ASSERT_EQ(assertions.size(), 3u);
  for (const std::string& text : assertions) {
    EXPECT_EQ(text.rfind("NV_Table: Not Supported Yet\n", 0), 0u);
  }
  EXPECT_EQ(ReadFileBytes(Path()), "");
}

TEST_F(SettingsFileTest, RegistryModeKeepsKeysInItsOwnFile) {
  const std::string store = dir_.File("Zuna.REG");
  INIClass ini;
  ini.SetRegistryFile(store);
  ini.Init("Software\\Zuna", kRegistryStore, 0);
  ini.Update("Main", "Title", "Zuna");
  ini.Update("Main", "Blank", "");
  EXPECT_EQ(ini.Fetch("Main", "Title", "d"), "Zuna");
  EXPECT_EQ(ini.Fetch("Main", "Blank", "d"), "d");  // empty reads as missing
  ini.Kill();
  EXPECT_EQ(ReadFileBytes(store),
            "[80000000\\Software\\Zuna\\Main]\nTitle=Zuna\nBlank=\n"
            "[80000000\\Software\\Zuna\\__Dont_Touch_Me__]\nSectors=0\n");
  INIClass user;
  user.SetRegistryFile(store);
  user.Init("Software\\Zuna", kRegistryStore, static_cast<int32_t>(0x80000001));
  EXPECT_EQ(user.Fetch("Main", "Title", "d"), "d");
}

TEST_F(SettingsFileTest, ThreadsReadAndWriteWholeValues) {
  INIClass ini;
  ini.Init(Path());
  const std::string a(300, 'a');
  const std::string b(300, 'b');
  // The value exists before the threads start: every read must see one of
  // the two whole values, never a mixture, a cut one or nothing.
  ini.Update("S", "k", a);
  std::thread writer([&] {
    for (int i = 0; i < 50; ++i) ini.Update("S", "k", i % 2 == 0 ? a : b);
  });
  int whole = 0;
  for (int i = 0; i < 50; ++i) {
    const std::string value = ini.TryFetch("S", "k");
    EXPECT_TRUE(value == a || value == b) << value.size();
    whole += value == a || value == b;
  }
  writer.join();
  EXPECT_EQ(whole, 50);
  // The last write (b) is what stays, for this object and for the file.
  EXPECT_EQ(ini.TryFetch("S", "k"), b);
  ini.Kill();
  INIClass again;
  again.Init(Path());
  EXPECT_EQ(again.TryFetch("S", "k"), b);
  again.Kill();
}

}  // namespace
}  // namespace zuna::framework
