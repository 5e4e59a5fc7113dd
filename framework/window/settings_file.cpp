#include "framework/window/settings_file.h"

#include <charconv>
#include <cstdio>

#include "framework/data/assertion.h"
#include "framework/data/critical_procedure.h"
#include "framework/window/profile_file.h"
#include "runtime/values/profile_reader.h"

namespace zuna::framework {
namespace {

std::string RowEntryName(std::string_view name, size_t row) {
  return std::string(name) + "_" + std::to_string(row);
}

// The stored count as a LONG: leading digits with an optional sign; anything
// else counts as 0.
int32_t ParseCount(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  int32_t value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value);
  (void)end;
  return error == std::errc() ? value : 0;
}

std::vector<std::string> SplitAtCommas(std::string_view value) {
  std::vector<std::string> parts;
  size_t begin = 0;
  while (true) {
    const size_t comma = value.find(',', begin);
    parts.emplace_back(value.substr(begin, comma == std::string_view::npos
                                               ? std::string_view::npos
                                               : comma - begin));
    if (comma == std::string_view::npos) return parts;
    begin = comma + 1;
  }
}

std::string CutToRead(std::string_view value) {
  return std::string(value.substr(0, values::kMaxProfileValue));
}

}  // namespace

void INIClass::Init(std::string_view file_name, int32_t nv_type,
                    int32_t extra_data) {
  CriticalProcedure critical(CritSect);
  FileName = file_name;
  NVType = nv_type;
  ExtraData = extra_data;
  Sectors = std::make_unique<std::vector<SectorsRow>>();
  FetchQueue(kBookkeepingSection, kSectorsEntry, *Sectors, &SectorsRow::Family,
             &SectorsRow::Item, &SectorsRow::Type);
}

void INIClass::Kill() {
  CriticalProcedure critical(CritSect);
  if (Sectors == nullptr) return;
  UpdateQueue(kBookkeepingSection, kSectorsEntry, *Sectors,
              &SectorsRow::Family, &SectorsRow::Item, &SectorsRow::Type);
  Sectors.reset();
}

std::optional<INIClass::Place> INIClass::Locate(std::string_view sector,
                                                std::string_view file_name) {
  const std::string_view name = file_name.empty() ? FileName : file_name;
  switch (NVType) {
    case kProfileStore:
      return Place{ResolveProfilePath(name), std::string(sector)};
    case kRegistryStore: {
      const uint32_t root = ExtraData == 0 ? kDefaultRegistryRoot
                                           : static_cast<uint32_t>(ExtraData);
      char root_text[9];
      std::snprintf(root_text, sizeof root_text, "%08X", root);
      std::string section = root_text;
      section += '\\';
      section += name;
      section += '\\';
      section += sector;
      const std::string path =
          registry_file_.empty() ? ResolveProfilePath(kRegistryFileName)
                                 : registry_file_;
      return Place{path, std::move(section)};
    }
    default:
      AssertionFailed(kTableNotSupported);
      return std::nullopt;
  }
}

std::optional<std::string> INIClass::Lookup(const Place& place,
                                            std::string_view text,
                                            std::string_view name) const {
  std::optional<std::string> value =
      values::FindProfileString(text, place.section, name);
  if (NVType == kRegistryStore && value.has_value() && value->empty()) {
    return std::nullopt;
  }
  return value;
}

std::string INIClass::Fetch(std::string_view sector, std::string_view name,
                            std::string_view default_value,
                            std::string_view file_name) {
  CriticalProcedure critical(CritSect);
  const std::optional<Place> place = Locate(sector, file_name);
  if (!place.has_value()) return {};
  const std::optional<std::string> text = ReadProfileText(place->path);
  if (text.has_value()) {
    if (std::optional<std::string> value = Lookup(*place, *text, name)) {
      return std::move(*value);
    }
  }
  return CutToRead(default_value);
}

void INIClass::Update(std::string_view sector, std::string_view name,
                      std::string_view value, std::string_view file_name) {
  CriticalProcedure critical(CritSect);
  const std::optional<Place> place = Locate(sector, file_name);
  if (!place.has_value()) return;
  WriteProfileString(place->path, place->section, name, value);
}

std::string INIClass::TryFetch(std::string_view sector, std::string_view name) {
  return Fetch(sector, name, {}, {});
}

std::string INIClass::FetchField(std::string_view sector,
                                 std::string_view name, int32_t field_no) {
  const std::vector<std::string> parts = SplitAtCommas(TryFetch(sector, name));
  if (field_no < 1 || static_cast<size_t>(field_no) > parts.size()) return {};
  return parts[static_cast<size_t>(field_no) - 1];
}

void INIClass::Remove(std::string_view sector, std::string_view name) {
  CriticalProcedure critical(CritSect);
  const std::optional<Place> place = Locate(sector, {});
  if (!place.has_value()) return;
  DeleteProfileString(place->path, place->section, name);
}

std::vector<std::vector<std::string>> INIClass::FetchQueueRows(
    std::string_view sector, std::string_view name, size_t field_count) {
  CriticalProcedure critical(CritSect);
  std::vector<std::vector<std::string>> rows;
  const std::optional<Place> place = Locate(sector, {});
  if (!place.has_value()) return rows;
  // One reading of the file for the whole queue, so the rows agree with the
  // count even while another process rewrites the file.
  const std::string text = ReadProfileText(place->path).value_or("");
  const int32_t count =
      std::min(ParseCount(Lookup(*place, text, name).value_or("")),
               kMaxQueueRows);
  for (int32_t i = 1; i <= count; ++i) {
    std::vector<std::string> parts = SplitAtCommas(
        Lookup(*place, text, RowEntryName(name, static_cast<size_t>(i)))
            .value_or(""));
    parts.resize(field_count);
    rows.push_back(std::move(parts));
  }
  return rows;
}

void INIClass::UpdateQueueRows(
    std::string_view sector, std::string_view name,
    const std::vector<std::vector<std::string>>& rows) {
  CriticalProcedure critical(CritSect);
  const std::optional<Place> place = Locate(sector, {});
  if (!place.has_value()) return;
  std::vector<ProfileEdit> edits;
  edits.reserve(rows.size() + 1);
  edits.push_back({place->section, std::string(name),
                   std::to_string(rows.size())});
  for (size_t i = 0; i < rows.size(); ++i) {
    std::string value;
    for (size_t field = 0; field < rows[i].size(); ++field) {
      if (field > 0) value += ',';
      value += rows[i][field];
    }
    value.resize(std::min(value.size(), kMaxQueueValue));
    edits.push_back({place->section, RowEntryName(name, i + 1), value});
  }
  WriteProfileEdits(place->path, edits);
}

void INIClass::AddSector(std::string_view family, std::string_view item,
                         std::string_view type) {
  CriticalProcedure critical(CritSect);
  if (!Assert(Sectors != nullptr, "INIClass not initialized")) return;
  for (SectorsRow& row : *Sectors) {
    if (row.Family == family && row.Item == item) {
      row.Type = type;
      return;
    }
  }
  Sectors->push_back(
      {std::string(family), std::string(item), std::string(type)});
}

std::string INIClass::GetSector(std::string_view family,
                                std::string_view item) {
  CriticalProcedure critical(CritSect);
  if (Sectors == nullptr) return {};
  for (const SectorsRow& row : *Sectors) {
    if (row.Family == family && row.Item == item) return row.Type;
  }
  return {};
}

std::vector<SectorsRow> INIClass::GetSectors(std::string_view family) {
  CriticalProcedure critical(CritSect);
  std::vector<SectorsRow> rows;
  if (Sectors == nullptr) return rows;
  for (const SectorsRow& row : *Sectors) {
    if (row.Family == family) rows.push_back(row);
  }
  return rows;
}

std::string INIClass::GetFamily(std::string_view item) {
  CriticalProcedure critical(CritSect);
  if (Sectors == nullptr) return {};
  for (const SectorsRow& row : *Sectors) {
    if (row.Item == item) return row.Family;
  }
  return {};
}

std::vector<SectorsRow> INIClass::SectorsSnapshot() const {
  CriticalProcedure critical(CritSect);
  return Sectors == nullptr ? std::vector<SectorsRow>() : *Sectors;
}

void INIClass::SetRegistryFile(std::string path) {
  CriticalProcedure critical(CritSect);
  registry_file_ = std::move(path);
}

std::string INIClass::GetFileName() const {
  CriticalProcedure critical(CritSect);
  return FileName;
}

int32_t INIClass::GetNVType() const {
  CriticalProcedure critical(CritSect);
  return NVType;
}

}  // namespace zuna::framework
