#include "tests/support/register/form_calls.h"

#include "app/globals.h"
#include "app/record_form.h"
#include "app/zun_dictionary.h"
#include "app/zunabc.h"
#include "app/zunabc0.h"
#include "runtime/datfile/statements.h"
#include "runtime/values/code_page.h"
#include "runtime/window/engine.h"

namespace zuna::testing {
namespace {

constexpr datfile::Key kByName{app::kKey2Index};

std::vector<std::string> NamesByName() {
  std::vector<std::string> names;
  datfile::SET(app::ZUN(), kByName);
  while (datfile::NEXT(app::ZUN()) == 0) {
    names.emplace_back(app::ZunName(app::ReadZunRecord(app::ZUN().record())));
  }
  return names;
}

}  // namespace

std::string CallerFrameTitle() { return values::W("Дни рождения"); }

void FormCalls::Queue(Call call) {
  std::lock_guard lock(mu_);
  calls_.push_back(std::move(call));
}

std::vector<uint8_t> FormCalls::Responses() const {
  std::lock_guard lock(mu_);
  return responses_;
}

std::vector<std::string> FormCalls::Names() const {
  std::lock_guard lock(mu_);
  return names_;
}

std::function<void()> FormCalls::Main(FormCalls& calls) {
  return [&calls] {
    app::ZUNABC::DctInit();
    window::WindowDefinition definition;
    definition.kind = window::WindowKind::kApplication;
    definition.title = CallerFrameTitle();
    definition.width = 327;
    definition.height = 266;
    definition.menus = {
        window::MenuDefinition{.is_menu = true, .text = values::W("Меню")},
        window::MenuDefinition{.parent = -1, .text = values::W("Форма")},
        window::MenuDefinition{.parent = -1, .text = values::W("Выход"),
                               .action = window::MenuAction::kClose},
    };
    {
      window::Window frame(definition);
      if (frame.Open()) {
        while (window::ACCEPT(frame)) {
          if (window::ACCEPTED() == kCallFormItem) window::START([&calls] { calls.RunNext(); });
        }
      }
    }
    app::ZUNABC::DctKill();
  };
}

void FormCalls::RunNext() {
  Call call;
  {
    std::lock_guard lock(mu_);
    if (started_ == calls_.size()) return;
    call = calls_[started_++];
  }
  app::StartThreadDictionary();
  app::Relate_ZUN->Open();
  app::Access_ZUN->UseFile();
  if (call.name.empty()) {
    app::Access_ZUN->ClearRecord();
  } else {
    datfile::SET(app::ZUN(), kByName);
    while (datfile::NEXT(app::ZUN()) == 0 &&
           app::ZunName(app::ReadZunRecord(app::ZUN().record())) != call.name) {
    }
  }
  app::GlobalRequest = call.request;
  app::UpdateZun();
  std::vector<std::string> names = NamesByName();
  app::Relate_ZUN->Close();
  {
    std::lock_guard lock(mu_);
    responses_.push_back(app::GlobalResponse);
    names_ = std::move(names);
  }
  app::EndThreadDictionary();
}

}  // namespace zuna::testing
