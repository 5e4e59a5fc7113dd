// UpdateZun: the form through which one register entry is added, changed,
// deleted or only viewed.
//
// The maintenance list calls it on its own thread with the request in
// GlobalRequest, after preparing the thread's ZUN record buffer (a primed
// record for an insert, the chosen record otherwise); the form edits that
// same buffer and leaves RequestCompleted or RequestCancelled in
// GlobalResponse.  Its window manager does the saving, deleting and
// cancelling, with their questions; this file sets it up.
//
// The ditto key (Ctrl with the apostrophe key) in the name or date field
// brings back that field of the last record saved on the thread.
//
// Threads: runs on the calling procedure thread, which must have its
// dictionary (Access_ZUN, Relate_ZUN) and a main frame to stand in.
#ifndef ZUNA_APP_RECORD_FORM_H_
#define ZUNA_APP_RECORD_FORM_H_

#include <cstdint>

#include "runtime/window/engine.h"

namespace zuna::app {

// The form's controls.
inline constexpr int32_t kFormSheet = 1;
inline constexpr int32_t kFormTab = 2;
inline constexpr int32_t kFormActionMessage = 3;
inline constexpr int32_t kFormNamePrompt = 4;
inline constexpr int32_t kFormName = 5;
inline constexpr int32_t kFormDatePrompt = 6;
inline constexpr int32_t kFormDate = 7;
inline constexpr int32_t kFormOk = 8;
inline constexpr int32_t kFormCancel = 9;

// The form's window, "QuickWindow".
window::WindowDefinition RecordFormDefinition();

void UpdateZun();

}  // namespace zuna::app

#endif  // ZUNA_APP_RECORD_FORM_H_
