// zunatool import is all or nothing: killed at any moment, the register is
// afterwards exactly as before the import or exactly as after it (the next
// open undoes a half import), with no transaction files left.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace zuna::testing {
namespace {

TEST(ZunatoolImportTest, AnImportKilledAtAnyMomentLeavesBeforeOrAfter) {
  TempDir dir;
  const std::string zun = dir.File("ZUN");
  ASSERT_EQ(RunProgram(BinPath("zunatool"), {"create", zun}).exit_code, 0);
  ASSERT_EQ(RunProgram(BinPath("zunatool"), {"add", zun, "Первый", "01/02/1990"}).exit_code, 0);
  const std::string csv = dir.File("people.csv");
  {
    std::ofstream out(csv, std::ios::binary);
    for (int i = 0; i < 3000; ++i) {
      out << "Человек" << i << ";" << (i % 28 + 1) << "/" << (i % 12 + 1) << "/19"
          << (50 + i % 50) << "\n";
    }
  }
  const std::string before = RunProgram(BinPath("zunatool"), {"export", zun}).out;
  // How long a whole import takes, to spread the kills over it.
  {
    TempDir probe;
    ASSERT_EQ(RunProgram(BinPath("zunatool"), {"create", probe.File("ZUN")}).exit_code, 0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunProgram(BinPath("zunatool"), {"import", probe.File("ZUN"), csv}).exit_code, 0);
    const auto whole = std::chrono::steady_clock::now() - start;
    const std::string after = RunProgram(BinPath("zunatool"), {"export", probe.File("ZUN")}).out;
    int kept_before = 0;
    for (int trial = 1; trial <= 8; ++trial) {
      ChildProcess import(BinPath("zunatool"), {"import", zun, csv});
      std::this_thread::sleep_for(whole * trial / 8);
      import.Kill();
      const ProgramResult exported = RunProgram(BinPath("zunatool"), {"export", zun});
      ASSERT_EQ(exported.exit_code, 0) << exported.err;
      const bool is_before = exported.out == before;
      const bool is_after = exported.out == before + after;
      EXPECT_TRUE(is_before || is_after) << "trial " << trial;
      kept_before += is_before;
      const ProgramResult check = RunProgram(BinPath("zunatool"), {"check", zun});
      EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
      for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_FALSE(name.ends_with(".LOG") || name.ends_with(".TR$")) << name;
      }
      if (is_after) {
        // Back to the one-person register for the next trial.
        ASSERT_EQ(RunProgram(BinPath("zunatool"), {"create", dir.File("FRESH")}).exit_code, 0);
        for (const char* ext : {".DAT", ".K01", ".K02"}) {
          std::filesystem::copy_file(dir.File(std::string("FRESH") + ext),
                                     dir.File(std::string("ZUN") + ext),
                                     std::filesystem::copy_options::overwrite_existing);
          std::filesystem::remove(dir.File(std::string("FRESH") + ext));
        }
        ASSERT_EQ(RunProgram(BinPath("zunatool"), {"add", zun, "Первый", "01/02/1990"}).exit_code, 0);
      }
    }
    EXPECT_GT(kept_before, 0);
  }
}

// A real full disk: a small tmpfs in a mount namespace of its own (needs
// the right to make one; skipped otherwise).  The import fails, is rolled
// back to the byte, and the message says that the disk is full.
TEST(ZunatoolImportTest, AnImportThatFillsTheDiskIsUndoneAndSaysSo) {
  TempDir dir;
  const std::string disk = dir.File("disk");
  std::filesystem::create_directory(disk);
  const std::string csv = dir.File("people.csv");
  {
    std::ofstream out(csv, std::ios::binary);
    for (int i = 0; i < 20000; ++i) out << "Человек" << i << ";01/02/1990\n";
  }
  const std::string script =
      "mount -t tmpfs -o size=300k tmpfs \"$1\" || { echo NO-MOUNT; exit 0; }\n"
      "cd \"$1\" && z=\"$2\"\n"
      "\"$z\" create ZUN && \"$z\" add ZUN Первый 01/02/1990 || exit 1\n"
      "cat ZUN.DAT ZUN.K01 ZUN.K02 | md5sum > ../before\n"
      "if \"$z\" import ZUN \"$3\" 2> ../err; then echo IMPORTED; fi\n"
      "cat ZUN.DAT ZUN.K01 ZUN.K02 | md5sum | cmp -s - ../before && echo SAME\n"
      "ls\n";
  const ProgramResult r = RunProgram(
      "/usr/bin/unshare", {"--mount", "--propagation", "private", "/bin/sh", "-c", script,
                           "sh", disk, BinPath("zunatool"), csv});
  if (r.exit_code != 0 || r.out.find("NO-MOUNT") != std::string::npos) {
    GTEST_SKIP() << "no private mount namespace here: " << r.out << r.err;
  }
  EXPECT_EQ(r.out.find("IMPORTED"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("SAME"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(".LOG"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(".TR$"), std::string::npos) << r.out;
  std::ifstream in(dir.File("err"), std::ios::binary);
  std::stringstream err;
  err << in.rdbuf();
  EXPECT_EQ(err.str().rfind("zunatool: ZUN.DAT: на диске не осталось места", 0), 0u)
      << err.str();
  EXPECT_NE(err.str().find("No space left on device"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("zunatool: ZUN.DAT: импорт отменён, в реестре ничего не "
                           "изменилось\n"),
            std::string::npos)
      << err.str();
}

}  // namespace
}  // namespace zuna::testing
