// The register program's body on any screen: the per-thread set-up every
// procedure thread gets, and the start-up and shut-down around the main
// frame.
//
//   InstallThreadHooks(engine);          // before any thread starts
//   engine runs ProgramMain(options) as thread 1
//
// ProgramMain, in order: GlobalErrors.Init(GlobalErrorStatus); the fuzzy
// matcher (case-insensitive, not whole words); INIMgr on "Zuna.INI"; the
// register's dictionary; Main until the frame closes; INIMgr.Update(), then
// INIMgr and the matcher killed.  The desktop's window-dragging setting is
// never touched: a program has no business switching what the user chose
// for every program.
//
// Thread hooks: each thread starts with GlobalRequest, GlobalResponse and
// VCRRequest at 0 and its own Dictionary; at its end the Dictionary goes
// first (its files' managers), then the thread's error state, then its
// instance of ZUN is closed, so no hold, LOCK or transaction outlives it.
#ifndef ZUNA_APP_REGISTER_PROGRAM_H_
#define ZUNA_APP_REGISTER_PROGRAM_H_

#include <string>

#include "app/main_frame.h"
#include "framework/window/fuzzy_class.h"
#include "framework/window/settings_file.h"
#include "runtime/window/engine_core.h"

namespace zuna::app {

// The process's settings file manager and fuzzy matcher.
extern framework::INIClass INIMgr;
extern framework::FuzzyClass FuzzyMatcher;

struct ProgramOptions {
  MainFrameLists lists;
  // Open the register once before the frame, so that a register missing
  // from its directory is made there (empty) at start.
  bool create_register = false;
  std::string backdrop;  // picture files for the frame; empty for none
  std::string icon;
};

void InstallThreadHooks(window::Engine& engine);
void ProgramMain(const ProgramOptions& options);

}  // namespace zuna::app

#endif  // ZUNA_APP_REGISTER_PROGRAM_H_
