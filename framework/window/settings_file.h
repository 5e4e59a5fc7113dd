// INIClass: named values in a settings store -- by default a profile file
// of "[section]" and "name=value" lines (profile_file.h).  The program has
// one, INIMgr, on "Zuna.INI", created at process start, initialised by the
// program body with Init("Zuna.INI", 0, 0), updated and killed on the way
// out.  Its only entries are its own bookkeeping: the Sectors queue, kept in
// the section "__Dont_Touch_Me__" as "Sectors" (the row count) and
// "Sectors_1", "Sectors_2", ... (Family,Item,Type).
//
// Stores (NVType):
//   0 profile file: FileName names it; a bare name lives beside the program
//     (ResolveProfilePath).
//   1 registry: Linux has none, so the values live in the profile file
//     "Zuna.REG" beside the program (SetRegistryFile changes it), in the
//     section "<root>\<FileName>\<Sector>", where <root> is ExtraData as 8
//     hex digits, or 80000000 when ExtraData is 0.  An empty value reads as
//     missing.
//   2 table: not supported; every read and write reports the internal
//     assertion "NV_Table: Not Supported Yet" and reads give "".
//
// Reads return at most 1024 characters.  Writes are atomic (profile_file.h).
//
// Threads: one object serves every thread.  Each reading or writing method
// holds CritSect, a recursive mutex, for the whole operation, so values are
// read and written whole; the methods call each other under it.  Other
// processes are kept in step by the profile file's own locking.
#ifndef ZUNA_FRAMEWORK_WINDOW_SETTINGS_FILE_H_
#define ZUNA_FRAMEWORK_WINDOW_SETTINGS_FILE_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zuna::framework {

inline constexpr int32_t kProfileStore = 0;
inline constexpr int32_t kRegistryStore = 1;
inline constexpr int32_t kTableStore = 2;

inline constexpr std::string_view kBookkeepingSection = "__Dont_Touch_Me__";
inline constexpr std::string_view kSectorsEntry = "Sectors";
inline constexpr std::string_view kRegistryFileName = "Zuna.REG";
// The root key used when ExtraData is 0.
inline constexpr uint32_t kDefaultRegistryRoot = 0x80000000;
inline constexpr std::string_view kTableNotSupported =
    "NV_Table: Not Supported Yet";
// UpdateQueue writes a row's value up to this many characters.
inline constexpr size_t kMaxQueueValue = 5000;
// FetchQueue reads at most this many rows, whatever the stored count says.
inline constexpr int32_t kMaxQueueRows = 100000;

// One row of the bookkeeping queue.
struct SectorsRow {
  std::string Family;
  std::string Item;
  std::string Type;
};

class INIClass {
 public:
  INIClass() = default;
  virtual ~INIClass() = default;
  INIClass(const INIClass&) = delete;
  INIClass& operator=(const INIClass&) = delete;

  // Stores the store's name and kind, creates the Sectors queue and reads
  // it from the bookkeeping section (empty when the file has none).
  void Init(std::string_view file_name, int32_t nv_type = kProfileStore,
            int32_t extra_data = 0);
  // Writes the bookkeeping section and disposes the queue.  Safe when never
  // initialised and when called twice.
  void Kill();

  // The stored value of `name` in `sector` of `file_name` (the object's own
  // store when empty), or `default_value` when there is none.
  virtual std::string Fetch(std::string_view sector, std::string_view name,
                            std::string_view default_value = {},
                            std::string_view file_name = {});
  // Stores `value` as `name` in `sector` of `file_name` (the object's own
  // store when empty).
  virtual void Update(std::string_view sector, std::string_view name,
                      std::string_view value, std::string_view file_name = {});
  // Hooks for derived classes to load and save their own values; the base
  // versions do nothing.
  virtual void Fetch() {}
  virtual void Update() {}

  // The stored value in the object's own store, or "".
  std::string TryFetch(std::string_view sector, std::string_view name);
  // The `field_no`-th (from 1) comma-separated part of the stored value;
  // "" when there is no such part.
  std::string FetchField(std::string_view sector, std::string_view name,
                         int32_t field_no);
  // Deletes the entry.
  void Remove(std::string_view sector, std::string_view name);

  // A queue as a counted list: `name` holds the row count, "<name>_<i>" row
  // i (from 1) as its fields joined by commas.  FetchQueue appends one row
  // per counted entry (a missing entry gives a row of empty fields; at most
  // kMaxQueueRows rows), each with `field_count` parts in stored order, a
  // missing part empty, parts beyond `field_count` ignored.  UpdateQueue
  // writes the count and every row in one atomic replacement of the file,
  // each value cut to kMaxQueueValue; rows an earlier, longer list left
  // beyond the new count stay.
  std::vector<std::vector<std::string>> FetchQueueRows(std::string_view sector,
                                                       std::string_view name,
                                                       size_t field_count);
  void UpdateQueueRows(std::string_view sector, std::string_view name,
                       const std::vector<std::vector<std::string>>& rows);

  // The same over a vector of records whose fields (one to four std::string
  // members) are named: FetchQueue(s, n, queue, &Row::A, &Row::B).
  template <class Row>
  void FetchQueue(std::string_view sector, std::string_view name,
                  std::vector<Row>& queue, std::string Row::*f1,
                  std::string Row::*f2 = nullptr,
                  std::string Row::*f3 = nullptr,
                  std::string Row::*f4 = nullptr);
  template <class Row>
  void UpdateQueue(std::string_view sector, std::string_view name,
                   const std::vector<Row>& queue, std::string Row::*f1,
                   std::string Row::*f2 = nullptr,
                   std::string Row::*f3 = nullptr,
                   std::string Row::*f4 = nullptr);

  // The bookkeeping queue (not used by this program).  AddSector adds a row,
  // or changes the Type of the row with the same Family and Item.
  // GetSector is that row's Type ("" when none); GetSectors the rows of a
  // family; GetFamily the Family of the first row with `item` ("" when none).
  void AddSector(std::string_view family, std::string_view item,
                 std::string_view type);
  std::string GetSector(std::string_view family, std::string_view item);
  std::vector<SectorsRow> GetSectors(std::string_view family);
  std::string GetFamily(std::string_view item);
  // A copy of the queue (empty when there is none).
  std::vector<SectorsRow> SectorsSnapshot() const;

  // Registry mode: the file that stands in for the registry.
  void SetRegistryFile(std::string path);

  std::string GetFileName() const;
  int32_t GetNVType() const;

 protected:
  // The fields below are guarded by CritSect.
  std::string FileName;
  std::unique_ptr<std::vector<SectorsRow>> Sectors;
  int32_t NVType = kProfileStore;
  int32_t ExtraData = 0;
  mutable std::recursive_mutex CritSect;

 private:
  // Where `sector` of `file_name` lives: the file and the section in it;
  // nullopt (after the assertion) in table mode.
  struct Place {
    std::string path;
    std::string section;
  };
  std::optional<Place> Locate(std::string_view sector,
                              std::string_view file_name);
  std::optional<std::string> Lookup(const Place& place, std::string_view text,
                                    std::string_view name) const;

  std::string registry_file_;  // guarded by CritSect; empty: beside the program
};

template <class Row>
void INIClass::FetchQueue(std::string_view sector, std::string_view name,
                          std::vector<Row>& queue, std::string Row::*f1,
                          std::string Row::*f2, std::string Row::*f3,
                          std::string Row::*f4) {
  std::string Row::*fields[] = {f1, f2, f3, f4};
  size_t count = 1;
  while (count < 4 && fields[count] != nullptr) ++count;
  for (std::vector<std::string>& parts : FetchQueueRows(sector, name, count)) {
    Row row{};
    for (size_t i = 0; i < count; ++i) row.*fields[i] = std::move(parts[i]);
    queue.push_back(std::move(row));
  }
}

template <class Row>
void INIClass::UpdateQueue(std::string_view sector, std::string_view name,
                           const std::vector<Row>& queue, std::string Row::*f1,
                           std::string Row::*f2, std::string Row::*f3,
                           std::string Row::*f4) {
  std::string Row::*fields[] = {f1, f2, f3, f4};
  size_t count = 1;
  while (count < 4 && fields[count] != nullptr) ++count;
  std::vector<std::vector<std::string>> rows;
  rows.reserve(queue.size());
  for (const Row& row : queue) {
    std::vector<std::string> parts;
    for (size_t i = 0; i < count; ++i) parts.push_back(row.*fields[i]);
    rows.push_back(std::move(parts));
  }
  UpdateQueueRows(sector, name, rows);
}

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_WINDOW_SETTINGS_FILE_H_
