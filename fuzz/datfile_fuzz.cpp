// Feeds damaged data and key files to the data-file driver and the checker.
//
// Input layout (all lengths little-endian):
//   byte  0      control: bit 0 picks the share mode of the read/write open,
//                bits 1-7 shift the record numbers and ordinals used below
//   bytes 1-2    length D of the data file image
//   bytes 3-4    length K of the key 1 image
//   then         D bytes ZUN.DAT, K bytes ZUN.K01, the rest ZUN.K02
// Lengths beyond the input are cut to what is there.
//
// The images go into an in-memory file system and the register's ZUN FILE
// opens them read-only, then read/write: RECORDS, SET/NEXT in file order and
// through each key, GET by record number and by key, PREVIOUS from the end,
// SKIP, POSITION/REGET/RESET, and on the read/write open ADD, PUT and DELETE.
// The checker then reads the same files.  Every walk is bounded.  Every
// call must return with an error number the driver documents; anything else
// (a crash, a sanitizer report, an unknown number, a hang) aborts or is
// caught by libFuzzer.
//
// Seeds: ZUNA_DATFILE_FUZZ_SEEDS=<dir> makes the target write real files
// made with the driver, in this layout, into <dir> and exit.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/datfile/checker.h"
#include "runtime/datfile/driver.h"
#include "runtime/datfile/file_instance.h"
#include "runtime/datfile/statements.h"
#include "runtime/datfile/status.h"
#include "runtime/values/error_state.h"
#include "tests/support/mem_fs.h"
#include "tests/support/zun_declaration.h"

namespace {

namespace df = zuna::datfile;
using zuna::testing::MemFileSystem;

constexpr df::Key kByDate{0};
constexpr df::Key kByName{1};
constexpr int kMaxSteps = 1000;
constexpr size_t kHeaderSize = 5;

void Check(bool ok) {
  if (!ok) std::abort();
}

// The error numbers status.h names: nothing else may come back.
bool KnownError(int32_t code) {
  namespace E = df::Err;
  switch (code) {
    case E::kOk: case E::kFileNotFound: case E::kPathNotFound:
    case E::kTooManyFiles: case E::kAccessDenied: case E::kInvalidHandle:
    case E::kFileLocked: case E::kRecordNotAvailable: case E::kRecordNotFound:
    case E::kInvalidDataFile: case E::kFileNotOpen: case E::kDuplicateKey:
    case E::kRecordHeld: case E::kInvalidFilename:
    case E::kKeyFileMustBeRebuilt: case E::kInvalidRecordDeclaration:
    case E::kUnableToLog: case E::kFileAlreadyOpen: case E::kLogoutActive:
    case E::kExclusiveAccessRequired: case E::kUnableToRollback:
    case E::kMemoFileMissing: case E::kInvalidFieldTypeDescriptor:
    case E::kInvalidKeyLength: case E::kRecordChanged: case E::kBuildCancelled:
      return true;
    default:
      return false;
  }
}

int32_t Ok(int32_t code) {
  Check(KnownError(code));
  return code;
}

// The error number a question statement left behind.
void CheckLast() { Check(KnownError(zuna::values::ERRORCODE())); }

void PutRecord(df::DatFileInstance& file, std::string_view fio, int32_t data) {
  const std::string record = zuna::testing::ZunRecord(fio, data, data ^ 0x55);
  std::copy(record.begin(), record.end(), file.record().begin());
}

// Steps with NEXT (or PREVIOUS) until an error, at most kMaxSteps times.
void Walk(df::DatFileInstance& file, bool forward) {
  for (int i = 0; i < kMaxSteps; ++i) {
    if (Ok(forward ? df::NEXT(file) : df::PREVIOUS(file)) != 0) return;
  }
}

void ReadAll(df::DatFileInstance& file, uint32_t shift) {
  (void)df::RECORDS(file);
  CheckLast();
  (void)df::RECORDS(file, kByDate);
  CheckLast();
  (void)df::RECORDS(file, kByName);
  CheckLast();

  if (Ok(df::SET(file)) == 0) Walk(file, true);
  if (Ok(df::SET(file)) == 0) Walk(file, false);
  for (df::Key key : {kByDate, kByName}) {
    if (Ok(df::SET(file, key)) == 0) Walk(file, true);
    if (Ok(df::SET(file, key)) == 0) Walk(file, false);
    if (Ok(df::SET(file, key, df::FileOrder{})) == 0) Walk(file, true);
    if (Ok(df::SET(file, key, 2 + shift)) == 0) Walk(file, true);
    if (Ok(df::GET(file, key, 1 + shift)) == 0) {
      if (Ok(df::SET(file, key, key)) == 0) Walk(file, true);
      const std::string position = df::POSITION(file, key);
      CheckLast();
      (void)Ok(df::REGET(file, key, position));
      if (Ok(df::RESET(file, key, position)) == 0) Walk(file, false);
    }
    (void)Ok(df::GET(file, key));
    (void)df::DUPLICATE(file, key);
    CheckLast();
    (void)df::POINTER(file, key);
    CheckLast();
  }

  for (uint32_t record_no : {0u, 1u, 2u + shift, 7u + shift, 20u + shift,
                             0xFFFFFFFFu, 0x80000000u}) {
    if (Ok(df::GET(file, record_no)) == 0) {
      const std::string position = df::POSITION(file);
      CheckLast();
      (void)Ok(df::REGET(file, position));
      if (Ok(df::RESET(file, position)) == 0) Walk(file, true);
    }
    if (Ok(df::SET(file, record_no)) == 0) Walk(file, false);
  }
  (void)Ok(df::REGET(file, std::string_view("\xFF\xFF\xFF\x7F", 4)));
  (void)Ok(df::REGET(file, kByName, std::string(300, '\xFF')));
  (void)Ok(df::REGET(file, kByDate, std::string_view("", 0)));

  if (Ok(df::SET(file, kByName)) == 0) {
    (void)Ok(df::SKIP(file, static_cast<int32_t>(3 + shift)));
    (void)Ok(df::SKIP(file, -2));
    (void)Ok(df::SKIP(file, 100000));
    (void)df::EOF_(file);
    CheckLast();
    (void)df::BOF(file);
    CheckLast();
  }
}

void WriteSome(df::DatFileInstance& file, uint32_t shift) {
  PutRecord(file, "\xCD\xEE\xE2\xFB\xE9 \xE7\xE0\xEF\xE8\xF1\xFC", 70000);
  (void)Ok(df::ADD(file));
  if (Ok(df::GET(file, 1 + shift)) == 0) {
    PutRecord(file, "Changed", 12345);
    (void)Ok(df::PUT(file));
  }
  if (Ok(df::GET(file, kByName, 2 + shift)) == 0) (void)Ok(df::DELETE(file));
  if (Ok(df::SET(file, kByDate)) == 0 && Ok(df::NEXT(file)) == 0) {
    (void)Ok(df::DELETE(file));
  }
  PutRecord(file, "Aaaa", -5);
  (void)Ok(df::ADD(file));
  (void)Ok(df::PUT(file, 3 + shift));
}

void RunChecker(MemFileSystem& fs) {
  df::CheckResult result;
  const df::Status status = df::CheckDataFile(fs, "/ZUN.DAT", {}, &result);
  Check(KnownError(status.code()));
  for (const df::CheckFault& fault : result.faults) {
    (void)df::FormatFault(fault);
  }
}

void Install(MemFileSystem& fs, std::string_view dat, std::string_view k1,
             std::string_view k2) {
  fs.SetContents("/ZUN.DAT", std::string(dat));
  fs.SetContents("/ZUN.K01", std::string(k1));
  fs.SetContents("/ZUN.K02", std::string(k2));
}

void Run(std::string_view input) {
  if (input.size() < kHeaderSize) return;
  const uint8_t control = static_cast<uint8_t>(input[0]);
  auto length = [&](size_t at) {
    return static_cast<size_t>(static_cast<uint8_t>(input[at])) |
           (static_cast<size_t>(static_cast<uint8_t>(input[at + 1])) << 8);
  };
  std::string_view rest = input.substr(kHeaderSize);
  const std::string_view dat = rest.substr(0, length(1));
  rest.remove_prefix(dat.size());
  const std::string_view k1 = rest.substr(0, length(3));
  rest.remove_prefix(k1.size());
  const std::string_view k2 = rest;
  const uint32_t shift = control >> 1;

  MemFileSystem fs;
  Install(fs, dat, k1, k2);
  RunChecker(fs);
  {
    df::DatFileInstance file(zuna::testing::ZunDeclaration(), fs);
    file.set_name("/ZUN");
    if (Ok(df::OPEN(file, df::kAccessReadOnly | df::kShareDenyNone)) == 0) {
      ReadAll(file, shift);
      WriteSome(file, shift);  // all refused: read-only
      (void)Ok(df::CLOSE(file));
    }
    const uint32_t share =
        (control & 1) ? df::kShareDenyNone : df::kShareDenyAll;
    if (Ok(df::OPEN(file, df::kAccessReadWrite | share)) == 0) {
      ReadAll(file, shift);
      WriteSome(file, shift);
      ReadAll(file, shift);
      (void)Ok(df::CLOSE(file));
    }
  }
  RunChecker(fs);
}

// Seeds: real ZUN files made by the driver.
std::string Serialize(MemFileSystem& fs, uint8_t control) {
  const std::string dat = fs.Contents("/ZUN.DAT");
  const std::string k1 = fs.Contents("/ZUN.K01");
  const std::string k2 = fs.Contents("/ZUN.K02");
  Check(dat.size() <= 0xFFFF && k1.size() <= 0xFFFF);
  std::string out;
  out.push_back(static_cast<char>(control));
  out.push_back(static_cast<char>(dat.size() & 0xFF));
  out.push_back(static_cast<char>(dat.size() >> 8));
  out.push_back(static_cast<char>(k1.size() & 0xFF));
  out.push_back(static_cast<char>(k1.size() >> 8));
  return out + dat + k1 + k2;
}

void WriteSeed(const std::string& dir, const std::string& name,
               const std::string& bytes) {
  const std::string path = dir + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  Check(f != nullptr);
  Check(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
  std::fclose(f);
}

void MakeSeed(const std::string& dir, const std::string& name, int records,
              int delete_every, uint8_t control) {
  MemFileSystem fs;
  {
    df::DatFileInstance file(zuna::testing::ZunDeclaration(), fs);
    file.set_name("/ZUN");
    Check(df::CREATE(file) == 0);
    Check(df::OPEN(file, df::kAccessReadWrite | df::kShareDenyAll) == 0);
    static const char* const kNames[] = {
        "\xC8\xE2\xE0\xED\xEE\xE2 \xC8\xE2\xE0\xED", "Petrov Petr",
        "\xF1\xE8\xE4\xEE\xF0\xEE\xE2", "", "Zuna", "ivanov"};
    for (int i = 0; i < records; ++i) {
      std::string fio = kNames[i % 6];
      if (!fio.empty()) fio += " " + std::to_string(i / 3);
      PutRecord(file, fio, 60000 + (i * 7919) % 97);  // duplicates too
      Check(df::ADD(file) == 0);
    }
    if (delete_every > 0) {
      for (int i = 1; i <= records; i += delete_every) {
        Check(df::GET(file, static_cast<uint32_t>(i)) == 0);
        Check(df::DELETE(file) == 0);
      }
    }
    Check(df::CLOSE(file) == 0);
  }
  WriteSeed(dir, name, Serialize(fs, control));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* dir = std::getenv("ZUNA_DATFILE_FUZZ_SEEDS");
  if (dir == nullptr) return 0;
  MakeSeed(dir, "empty", 0, 0, 0);
  MakeSeed(dir, "few", 5, 0, 3);
  MakeSeed(dir, "two_levels", 40, 0, 0);
  MakeSeed(dir, "two_levels_deleted", 45, 4, 1);
  std::exit(0);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Run(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
