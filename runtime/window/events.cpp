#include "runtime/window/events.h"

#include <cstdio>

namespace zuna::window {

std::string EventName(int32_t event) {
  struct Named {
    int32_t code;
    const char* name;
  };
  static constexpr Named kNames[] = {
      {EVENT::Accepted, "Accepted"},         {EVENT::NewSelection, "NewSelection"},
      {EVENT::ScrollUp, "ScrollUp"},         {EVENT::ScrollDown, "ScrollDown"},
      {EVENT::PageUp, "PageUp"},             {EVENT::PageDown, "PageDown"},
      {EVENT::ScrollTop, "ScrollTop"},       {EVENT::ScrollBottom, "ScrollBottom"},
      {EVENT::Locate, "Locate"},             {EVENT::MouseUp, "MouseUp"},
      {EVENT::MouseIn, "MouseIn"},           {EVENT::MouseOut, "MouseOut"},
      {EVENT::MouseMove, "MouseMove"},       {EVENT::VBXevent, "VBXevent"},
      {EVENT::AlertKey, "AlertKey"},         {EVENT::PreAlert, "PreAlert"},
      {EVENT::Dragging, "Dragging"},         {EVENT::Drag, "Drag"},
      {EVENT::Drop, "Drop"},                 {EVENT::ScrollDrag, "ScrollDrag"},
      {EVENT::TabChanging, "TabChanging"},   {EVENT::Expanding, "Expanding"},
      {EVENT::Contracting, "Contracting"},   {EVENT::Expanded, "Expanded"},
      {EVENT::Contracted, "Contracted"},     {EVENT::Rejected, "Rejected"},
      {EVENT::DroppingDown, "DroppingDown"}, {EVENT::DroppedDown, "DroppedDown"},
      {EVENT::ScrollTrack, "ScrollTrack"},   {EVENT::ColumnResize, "ColumnResize"},
      {EVENT::Selected, "Selected"},         {EVENT::Selecting, "Selecting"},
      {EVENT::CloseWindow, "CloseWindow"},   {EVENT::CloseDown, "CloseDown"},
      {EVENT::OpenWindow, "OpenWindow"},     {EVENT::OpenFailed, "OpenFailed"},
      {EVENT::LoseFocus, "LoseFocus"},       {EVENT::GainFocus, "GainFocus"},
      {EVENT::Suspend, "Suspend"},           {EVENT::Resume, "Resume"},
      {EVENT::Notify, "Notify"},             {EVENT::Timer, "Timer"},
      {EVENT::DDErequest, "DDErequest"},     {EVENT::DDEadvise, "DDEadvise"},
      {EVENT::DDEdata, "DDEdata"},           {EVENT::DDEexecute, "DDEexecute"},
      {EVENT::DDEpoke, "DDEpoke"},           {EVENT::DDEclosed, "DDEclosed"},
      {EVENT::Move, "Move"},                 {EVENT::Size, "Size"},
      {EVENT::Restore, "Restore"},           {EVENT::Maximize, "Maximize"},
      {EVENT::Iconize, "Iconize"},           {EVENT::Completed, "Completed"},
      {EVENT::Moved, "Moved"},               {EVENT::Sized, "Sized"},
      {EVENT::Restored, "Restored"},         {EVENT::Maximized, "Maximized"},
      {EVENT::Iconized, "Iconized"},         {EVENT::Docked, "Docked"},
      {EVENT::UnDocked, "UnDocked"},         {EVENT::BuildFile, "BuildFile"},
      {EVENT::BuildKey, "BuildKey"},         {EVENT::BuildDone, "BuildDone"},
  };
  for (const Named& named : kNames) {
    if (named.code == event) return named.name;
  }
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "Event%Xh", static_cast<unsigned>(event));
  return buffer;
}

}  // namespace zuna::window
