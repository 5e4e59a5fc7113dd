// The window demonstration: a main frame whose menu starts child windows,
// each on a thread of its own; a child's button asks a Yes/No question and
// shows the answer, which its own thread receives.  Written against the
// window interface only, so it runs on any screen (Qt or headless).
#ifndef ZUNA_APP_WINDOW_DEMO_DEMO_PROCEDURES_H_
#define ZUNA_APP_WINDOW_DEMO_DEMO_PROCEDURES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace zuna::app::demo {

// UTF-8 texts the demonstration shows, for its drivers.
inline constexpr const char* kFrameTitle = "Демонстрация окон";
inline constexpr const char* kNewWindowItem = "Новое окно";
inline constexpr const char* kExitItem = "Выход";
inline constexpr const char* kAskButton = "Спросить";
inline constexpr const char* kCloseButton = "Закрыть";
inline constexpr const char* kQuestion = "Продолжить работу?";
inline constexpr const char* kAnswerYes = "Ответ: Да";
inline constexpr const char* kAnswerNo = "Ответ: Нет";

// "Окно потока N" (UTF-8).
std::string ChildTitle(int32_t thread);

// One answered question: the thread whose button asked, the thread that
// received the answer, and the button chosen.
struct Answer {
  int32_t asked_on = 0;
  int32_t received_on = 0;
  int32_t button = 0;
};
// Every answer so far, in order (any thread).
std::vector<Answer> Answers();

// The frame procedure: thread 1.
void DemoMain();
// A child procedure: started by the frame's menu on a new thread.
void DemoChild();

}  // namespace zuna::app::demo

#endif  // ZUNA_APP_WINDOW_DEMO_DEMO_PROCEDURES_H_
