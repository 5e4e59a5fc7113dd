// Event codes of the window engine.
//
// Every turn of a window's ACCEPT loop delivers one event.  Field events
// concern one control (FIELD() names it); window events concern the window
// as a whole (FIELD() is 0).  Codes the engine does not define (for example
// 3FFh, which the window framework posts to itself after a resize) pass
// through POST and ACCEPT untouched.
//
// The engine's internal message number for an event is the code plus A000h.
// Constants only: safe on any thread.
#ifndef ZUNA_RUNTIME_WINDOW_EVENTS_H_
#define ZUNA_RUNTIME_WINDOW_EVENTS_H_

#include <cstdint>
#include <string>

namespace zuna::window {

// A struct rather than a namespace, so that the runtime's function EVENT()
// can share the name: qualified lookup (EVENT::Accepted) sees only types.
struct EVENT final {
  EVENT() = delete;
// Field events.
static constexpr int32_t Accepted = 0x01;
static constexpr int32_t NewSelection = 0x02;
static constexpr int32_t ScrollUp = 0x03;
static constexpr int32_t ScrollDown = 0x04;
static constexpr int32_t PageUp = 0x05;
static constexpr int32_t PageDown = 0x06;
static constexpr int32_t ScrollTop = 0x07;
static constexpr int32_t ScrollBottom = 0x08;
static constexpr int32_t Locate = 0x09;
static constexpr int32_t MouseUp = 0x0A;
static constexpr int32_t MouseIn = 0x0B;
static constexpr int32_t MouseOut = 0x0C;
static constexpr int32_t MouseMove = 0x0D;
static constexpr int32_t VBXevent = 0x0E;
static constexpr int32_t AlertKey = 0x0F;
static constexpr int32_t PreAlert = 0x10;
static constexpr int32_t Dragging = 0x11;
static constexpr int32_t Drag = 0x12;
static constexpr int32_t Drop = 0x13;
static constexpr int32_t ScrollDrag = 0x14;
static constexpr int32_t TabChanging = 0x15;
static constexpr int32_t Expanding = 0x16;
static constexpr int32_t Contracting = 0x17;
static constexpr int32_t Expanded = 0x18;
static constexpr int32_t Contracted = 0x19;
static constexpr int32_t Rejected = 0x1A;
static constexpr int32_t DroppingDown = 0x1B;
static constexpr int32_t DroppedDown = 0x1C;
static constexpr int32_t ScrollTrack = 0x1D;
static constexpr int32_t ColumnResize = 0x1E;
static constexpr int32_t Selected = 0x101;
static constexpr int32_t Selecting = 0x102;

// Window events.
static constexpr int32_t CloseWindow = 0x201;
static constexpr int32_t CloseDown = 0x202;
static constexpr int32_t OpenWindow = 0x203;
static constexpr int32_t OpenFailed = 0x204;
static constexpr int32_t LoseFocus = 0x205;
static constexpr int32_t GainFocus = 0x206;
static constexpr int32_t Suspend = 0x208;
static constexpr int32_t Resume = 0x209;
static constexpr int32_t Notify = 0x20A;
static constexpr int32_t Timer = 0x20B;
static constexpr int32_t DDErequest = 0x20C;
static constexpr int32_t DDEadvise = 0x20D;
static constexpr int32_t DDEdata = 0x20E;
static constexpr int32_t DDEexecute = 0x20F;
static constexpr int32_t DDEpoke = 0x210;
static constexpr int32_t DDEclosed = 0x211;
static constexpr int32_t Move = 0x220;
static constexpr int32_t Size = 0x221;
static constexpr int32_t Restore = 0x222;
static constexpr int32_t Maximize = 0x223;
static constexpr int32_t Iconize = 0x224;
static constexpr int32_t Completed = 0x225;
static constexpr int32_t Moved = 0x230;
static constexpr int32_t Sized = 0x231;
static constexpr int32_t Restored = 0x232;
static constexpr int32_t Maximized = 0x233;
static constexpr int32_t Iconized = 0x234;
static constexpr int32_t Docked = 0x235;
static constexpr int32_t UnDocked = 0x236;
static constexpr int32_t BuildFile = 0x240;
static constexpr int32_t BuildKey = 0x241;
static constexpr int32_t BuildDone = 0x242;
};

// The engine's internal message numbers.
inline constexpr int32_t kEventMessageBase = 0xA000;
constexpr int32_t MessageNumber(int32_t event) { return event + kEventMessageBase; }
constexpr int32_t EventOfMessage(int32_t message) {
  return message - kEventMessageBase;
}

// True for the codes below the window events (1-1Eh, 101h, 102h and any
// other code under 200h): events that concern a control.
constexpr bool IsFieldEventCode(int32_t event) { return event > 0 && event < 0x200; }

// The name of an event code without its family ("Accepted", "CloseWindow"),
// or "Event<hex>" for a code the engine does not define.  For transcripts.
std::string EventName(int32_t event);

}  // namespace zuna::window

#endif  // ZUNA_RUNTIME_WINDOW_EVENTS_H_
