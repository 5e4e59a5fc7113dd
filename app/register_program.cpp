#include "app/register_program.h"

#include "app/globals.h"
#include "app/zunabc.h"
#include "app/zunabc0.h"

namespace zuna::app {

framework::INIClass INIMgr;
framework::FuzzyClass FuzzyMatcher;

void InstallThreadHooks(window::Engine& engine) {
  engine.SetThreadHooks(
      [] {
        GlobalRequest = 0;
        GlobalResponse = 0;
        VCRRequest = 0;
        StartThreadDictionary();
      },
      [] { EndThreadDictionary(); });
}

void ProgramMain(const ProgramOptions& options) {
  GlobalErrors.Init(GlobalErrorStatus);
  FuzzyMatcher.Init();
  FuzzyMatcher.SetOption(framework::FuzzyClass::kNoCase, 1);
  FuzzyMatcher.SetOption(framework::FuzzyClass::kWordOnly, 0);
  INIMgr.Init("Zuna.INI", 0, 0);
  ZUNABC::DctInit();
  if (options.create_register && Relate_ZUN->Open() == framework::Level::Benign) {
    Relate_ZUN->Close();
  }
  Main(options.lists, options.backdrop, options.icon);
  INIMgr.Update();
  INIMgr.Kill();
  FuzzyMatcher.Kill();
}

}  // namespace zuna::app
