#include "runtime/values/runtime_messages.h"

#include <algorithm>
#include <array>
#include <utility>

#include "runtime/values/locale.h"

namespace zuna::values {
namespace {

struct Entry {
  int32_t code;
  std::string_view text;
};

// Sorted by code.  File driver texts, the window engine's misuse texts and
// the evaluator's texts share one numbering.
constexpr std::array kMessages = std::to_array<Entry>({
    {2, "File Not Found"},
    {3, "Path Not Found"},
    {4, "Too Many Open Files"},
    {5, "Access Denied"},
    {6, "Invalid File Handle"},
    {32, "File Is Already Locked"},
    {33, "Record Not Available"},
    {35, "Record Not Found"},
    {36, "Invalid Data File"},
    {37, "File Not Open"},
    {39, "Disk Full"},
    {40, "Creates Duplicate Key"},
    {43, "Record Is Already Held"},
    {45, "Invalid Filename"},
    {46, "Key File Must Be Rebuilt"},
    {47, "Invalid Record Declaration"},
    {48, "Unable To Log Transaction"},
    {52, "File Already Open"},
    {56, "LOGOUT Already Active"},
    {63, "Exclusive Access Required"},
    {65, "Unable To ROLLBACK Transaction"},
    {73, "Memo File Missing"},
    {75, "Invalid Field Type Descriptor"},
    {88, "Invalid Key Length"},
    {89, "Record Changed By Another Station"},
    {93, "BUILD Cancelled"},
    {526, "Unable to open APPLICATION (APPLICATION already active)"},
    {527, "Unable to open APPLICATION (system is MODAL)"},
    {528, "Unable to open APPLICATION"},
    {529, "Unable to open WINDOW"},
    {530, "Unable to open MDI window (No APPLICATION active)"},
    {531, "Unable to open MDI window (system is MODAL)"},
    {532, "Unable to open MDI window on APPLICATION's thread"},
    {533, "Unable to open MDI WINDOW"},
    {535, "Window is already open"},
    {536, "Window is not open"},
    {537, "ACCEPT loop requires a window"},
    {540, "Unable to process ACCEPT (system is MODAL)"},
    {541, "Unable to create control (system is MODAL)"},
    {542, "Unable to complete operation (system is MODAL)"},
    {545, "Attempt to execute a modal event for not current thread"},
    {1010, "Invalid expression for EVALUATE"},
    {1011, "BIND has not been called for"},
    {1012, "Mismatched PUSHBIND/POPBIND"},
    {1013, "No evaluator exists"},
    {1014, "Unknown evaluation context"},
    {1015, "Not-omittable parameter of built-in function is omitted"},
});

constexpr bool IsSorted() {
  for (size_t i = 1; i < kMessages.size(); ++i) {
    if (kMessages[i - 1].code >= kMessages[i].code) return false;
  }
  return true;
}
static_assert(IsSorted(), "kMessages must stay sorted for binary search");

}  // namespace

std::string_view DefaultRuntimeMessage(int32_t code) {
  const auto it = std::lower_bound(
      kMessages.begin(), kMessages.end(), code,
      [](const Entry& e, int32_t c) { return e.code < c; });
  if (it == kMessages.end() || it->code != code) return {};
  return it->text;
}

std::string RuntimeMessage(int32_t code) {
  const auto& overrides = Locale().message_overrides;
  if (auto it = overrides.find(code); it != overrides.end()) return it->second;
  if (auto text = DefaultRuntimeMessage(code); !text.empty()) {
    return std::string(text);
  }
  return "Error " + std::to_string(code);
}

}  // namespace zuna::values
