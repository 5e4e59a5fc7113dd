// Driver switches: given in the FILE's driver string (applied at binding)
// or sent with SEND.  A switch is named by any prefix of its name, in any
// letter case ("MAINTAINHEADER" is MAINTAINHEADERTIME); "NAME=value" sets
// it, "NAME" alone queries it with SEND and switches it on in a driver
// string (where a query has no one to answer).
#include <cctype>
#include <charconv>
#include <string>
#include <string_view>

#include "runtime/datfile/driver_internal.h"

namespace zuna::datfile::driver {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

namespace {

enum class Switch { kRecover, kIgnoreStatus, kDeleted, kHeld,
                    kIgnoreCorruptions, kMaintainHeaderTime, kQuickScan };

struct SwitchName {
  std::string_view name;
  Switch which;
};

// In match order: an ambiguous prefix ("IGNORE") takes the first.
constexpr SwitchName kSwitches[] = {
    {"RECOVER", Switch::kRecover},
    {"IGNORESTATUS", Switch::kIgnoreStatus},
    {"IGNORECORRUPTIONS", Switch::kIgnoreCorruptions},
    {"DELETED", Switch::kDeleted},
    {"HELD", Switch::kHeld},
    {"MAINTAINHEADERTIME", Switch::kMaintainHeaderTime},
    // The view layer sends it; this driver reads ahead no differently.
    {"QUICKSCAN", Switch::kQuickScan},
};

const SwitchName* FindSwitch(std::string_view name) {
  if (name.empty()) return nullptr;
  for (const SwitchName& candidate : kSwitches) {
    if (name.size() <= candidate.name.size() &&
        EqualsIgnoringCase(name, candidate.name.substr(0, name.size()))) {
      return &candidate;
    }
  }
  return nullptr;
}

const char* OnOff(bool on) { return on ? "ON" : "OFF"; }

// DELETED and HELD: a bit of the current record's status byte, meaningful
// only while IGNORESTATUS lets such records be read.
Status StatusQuery(const DriverState& s, bool held, std::string* answer) {
  if (!s.switches.ignore_status) {
    *answer = "OFF";
    return Status::OK();
  }
  if (s.current == 0) {
    return Status::Error(Err::kRecordNotAvailable, "no current record");
  }
  *answer = OnOff(held ? s.current_prefix.held() : s.current_prefix.deleted());
  return Status::OK();
}

Status Apply(DatFileInstance& file, std::string_view text, bool from_string,
             std::string* answer) {
  DriverState& s = file.driver_state();
  answer->clear();
  const size_t equals = text.find('=');
  const std::string_view name = Trim(text.substr(0, equals));
  const bool has_value = equals != std::string_view::npos || from_string;
  const std::string_view value =
      equals == std::string_view::npos ? std::string_view("ON") : Trim(text.substr(equals + 1));
  const SwitchName* found = FindSwitch(name);
  if (found == nullptr) return Status::OK();  // unknown: no answer
  switch (found->which) {
    case Switch::kRecover:
      if (has_value && equals != std::string_view::npos) {
        uint32_t seconds = 0;
        std::from_chars(value.data(), value.data() + value.size(), seconds);
        s.switches.recover_seconds = seconds;
      }
      *answer = std::to_string(s.switches.recover_seconds);
      return Status::OK();
    case Switch::kIgnoreStatus:
      if (has_value) {
        const bool on = !EqualsIgnoringCase(value, "OFF");
        if (on && file.is_open() && s.shared) {
          return Status::Error(Err::kExclusiveAccessRequired, s.data_path);
        }
        s.switches.ignore_status = on;
      }
      *answer = OnOff(s.switches.ignore_status);
      return Status::OK();
    case Switch::kIgnoreCorruptions:
      if (has_value) s.switches.ignore_corruptions = EqualsIgnoringCase(value, "ON");
      *answer = OnOff(s.switches.ignore_corruptions);
      return Status::OK();
    case Switch::kMaintainHeaderTime:
      if (has_value) s.switches.maintain_header_time = EqualsIgnoringCase(value, "ON");
      *answer = OnOff(s.switches.maintain_header_time);
      return Status::OK();
    case Switch::kDeleted:
      return StatusQuery(s, false, answer);
    case Switch::kHeld:
      return StatusQuery(s, true, answer);
    case Switch::kQuickScan:
      return Status::OK();
  }
  return Status::OK();
}

}  // namespace

Status ApplyDriverString(DatFileInstance& file, std::string_view options) {
  auto is_separator = [](char c) {
    return c == '/' || c == ';' || c == ',' || std::isspace(static_cast<unsigned char>(c));
  };
  size_t at = 0;
  while (at < options.size()) {
    while (at < options.size() && is_separator(options[at])) ++at;
    size_t end = at;
    while (end < options.size() && !is_separator(options[end])) ++end;
    if (end > at) {
      std::string_view option = options.substr(at, end - at);
      // Queries have no one to answer at binding: DELETED and HELD are
      // skipped there.
      const SwitchName* found = FindSwitch(Trim(option.substr(0, option.find('='))));
      if (found && found->which != Switch::kDeleted && found->which != Switch::kHeld) {
        std::string ignored;
        ZUNA_RETURN_IF_ERROR(Apply(file, option, true, &ignored));
      }
    }
    at = end;
  }
  return Status::OK();
}

Status Send(DatFileInstance& file, std::string_view text, std::string* answer) {
  return Apply(file, text, false, answer);
}

}  // namespace zuna::datfile::driver
