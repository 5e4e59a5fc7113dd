// BrowseClass: a scrolling list over a view.  The list never holds the
// whole record set: one page of rows (the list queue, one row per line of
// the list box) each carrying its record's view position, so the browse can
// re-read the record, restart the view at any row and find the highlighted
// row again after the page was rebuilt.  Scrolling past either end of the
// page reads only the records that enter it.
//
//   ListQueue queue(row_bytes);                 // the rows' display fields
//   queue.AddColumn(values::RefString(row.name, 30));
//   BrowseClass browse;
//   browse.Init(kList, queue, view, *Relate_ZUN, manager);   // after Open(window)
//   browse.AddSortOrder(&thumb, kByName);
//   browse.AddLocator(locator);
//   browse.AddField(values::RefString(ZUN.FIO, 30), values::RefString(row.name, 30));
//   browse.InsertControl = kInsert;  ...  browse.AskProcedure = 1;
//   // the manager's Reset makes the first fill; its events reach TakeEvent.
//
// Refills keep the highlighted record highlighted and, with RetainRow, on
// the same line; a page that would be short at the end of the set is
// topped up from above unless AllowUnfilled.  With FileLoaded the queue
// holds the whole set and scrolling moves inside it without reads.  While
// the list is hidden a fill is only owed (LoadPending).
//
// Update actions (insert, change, delete, view, print, select) come from
// the browse's buttons, the keys alerted on the list (Insert, Delete,
// Ctrl+Enter, Shift+Enter, double-click), the popup menu and the toolbar;
// the window manager's Run(AskProcedure, request) runs the form, and the
// list finds its place again afterwards (ResetFromAsk).  Before a change,
// delete, view or print the highlighted record is read again through its
// view position; when another station deleted it, or changed what the row
// shows, the user is told and the page rebuilt instead.
//
// Levels as in error_table.h.  Ownership: the browse refers to its view,
// relation manager, window manager, queue and the locators and step
// objects added to it; all must outlive Kill.  It owns its popup, toolbar
// target and list behaviour.  Threads: the browse belongs to its
// procedure's thread; the list box reads the rows through ListQueue only
// inside that thread's DISPLAY, which sends the screen a snapshot.
#ifndef ZUNA_FRAMEWORK_WINDOW_BROWSE_CLASS_H_
#define ZUNA_FRAMEWORK_WINDOW_BROWSE_CLASS_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/data/field_pairs.h"
#include "framework/data/view_manager.h"
#include "framework/window/locators.h"
#include "framework/window/popup.h"
#include "framework/window/steps.h"
#include "framework/window/toolbar.h"
#include "framework/window/window_manager.h"
#include "runtime/window/engine.h"

namespace zuna::framework {

class BrowseClass;

// The list queue as the browse reaches it.
class BrowseQueue {
 public:
  virtual ~BrowseQueue() = default;
  virtual int32_t Records() = 0;
  virtual void Insert() = 0;               // the row buffer as the last row
  virtual void Insert(int32_t Pos) = 0;    // ... at Pos
  virtual void Fetch(int32_t Pos) = 0;     // row Pos into the row buffer
  virtual void Update() = 0;               // the row buffer over the current row
  virtual void Delete() = 0;               // the current row
  virtual void Free() = 0;
  virtual std::string Who(int32_t Column) = 0;
  virtual std::string GetViewPosition() = 0;
  virtual void SetViewPosition(std::string_view S) = 0;
};

// The list box as the browse reaches it.
class IListControl {
 public:
  virtual ~IListControl() = default;
  virtual int32_t Choice() = 0;
  virtual int32_t GetControl() = 0;
  virtual int32_t GetItems() = 0;   // lines shown
  virtual uint8_t GetVisible() = 0;
  virtual void SetChoice(int32_t C) = 0;
  virtual void SetControl(int32_t C) = 0;
};

// The rows of a list: a row buffer of display fields the application
// lays out (each column a reference into it) plus the row's view position;
// rows are copies of the buffer.  The list box reads it as its ListSource.
class ListQueue final : public window::ListSource {
 public:
  explicit ListQueue(std::span<char> row_buffer) : row_(row_buffer) {}

  // A column: `field` must refer into the row buffer.
  void AddColumn(const values::VariableRef& field, std::string name = {});

  int32_t Records() const override { return static_cast<int32_t>(rows_.size()); }
  std::string CellText(int32_t row, size_t column,
                       const values::Picture& picture) const override;

  void Append() { rows_.push_back({Bytes(), ViewPosition}); pointer_ = Records(); }
  void InsertAt(int32_t pos);
  bool Get(int32_t pos);  // false when out of range (the buffer stays)
  void Put();
  void Remove();
  void Clear() { rows_.clear(); pointer_ = 0; }
  std::string Name(int32_t column) const;
  // The view position of row `pos`.
  const std::string& PositionOf(int32_t pos) const { return rows_[pos - 1].position; }

  std::string ViewPosition;  // the row buffer's

 private:
  struct Row {
    std::string bytes;
    std::string position;
  };
  std::string Bytes() const { return std::string(row_.data(), row_.size()); }

  std::span<char> row_;
  std::vector<values::VariableRef> columns_;
  std::vector<std::string> names_;
  std::vector<Row> rows_;
  int32_t pointer_ = 0;
};

// Both faces over a ListQueue and a list box of the browse's window.
class StandardBehavior final : public BrowseQueue, public IListControl {
 public:
  void Init(ListQueue& Q, int32_t LC, WindowManager& W);

  int32_t Records() override { return Q->Records(); }
  void Insert() override { Q->Append(); }
  void Insert(int32_t Pos) override { Q->InsertAt(Pos); }
  void Fetch(int32_t Pos) override { Q->Get(Pos); }
  void Update() override { Q->Put(); }
  void Delete() override { Q->Remove(); }
  void Free() override { Q->Clear(); }
  std::string Who(int32_t Column) override { return Q->Name(Column); }
  std::string GetViewPosition() override { return Q->ViewPosition; }
  void SetViewPosition(std::string_view S) override { Q->ViewPosition = S; }

  int32_t Choice() override;
  int32_t GetControl() override { return LC; }
  int32_t GetItems() override;
  uint8_t GetVisible() override;
  void SetChoice(int32_t C) override;
  void SetControl(int32_t C) override { LC = C; }

  ListQueue* Q = nullptr;
  int32_t LC = 0;

 private:
  window::Window* Screen() const;
  WindowManager* window_ = nullptr;
};

// What the browse keeps per sort order beside the view manager's row.
struct BrowseSortRow {
  LocatorClass* Locator = nullptr;
  std::unique_ptr<FieldPairsClass> Resets;  // Left: the field; Right: its value at the last fill
  StepClass* Thumb = nullptr;
};

// Fetch directions and ResetQueue modes.
inline constexpr uint8_t kFillBackward = 1;
inline constexpr uint8_t kFillForward = 2;
inline constexpr uint8_t kResetKeepPage = 1;
inline constexpr uint8_t kResetPositioned = 2;

class BrowseClass : public ViewManager {
 public:
  BrowseClass();
  ~BrowseClass() override;

  // The browse as a component of its window.
  class ComponentFace final : public WindowComponent {
   public:
    explicit ComponentFace(BrowseClass& b) : b_(b) {}
    void Kill() override { b_.Kill(); }
    void Reset(uint8_t Force) override { b_.ResetSort(Force); }
    uint8_t ResetRequired() override { return b_.ApplyRange(); }
    void SetAlerts() override { b_.SetAlerts(); }
    uint8_t TakeEvent() override {
      b_.TakeEvent();
      return 0;
    }
    void Update() override { b_.UpdateViewRecord(); }
    void UpdateWindow() override { b_.UpdateWindow(); }

   private:
    BrowseClass& b_;
  };
  ComponentFace Component{*this};

  // --- Settings and state (see the top of this file). ---
  uint8_t ActiveInvisible = 0;
  uint8_t AllowUnfilled = 0;
  int32_t AskProcedure = 0;  // 0: edit in place (not built: requests cancelled)
  int32_t ChangeControl = 0;
  int32_t CurrentChoice = 0;
  int32_t CurrentEvent = 0;
  int32_t DeleteControl = 0;
  uint8_t FileLoaded = 0;
  uint8_t UseMRP = 0;
  uint8_t HasThumb = 0;
  uint8_t HideSelect = 0;
  IListControl* ILC = nullptr;
  int32_t InsertControl = 0;
  int32_t ItemsToFill = 0;
  int32_t LastChoice = 0;
  int32_t LastItems = 0;
  BrowseQueue* ListQueue = nullptr;
  uint8_t LoadPending = 0;
  uint8_t Loaded = 0;
  uint8_t NeedRefresh = 0;
  std::unique_ptr<PopupClass> Popup;
  uint8_t UsePopup = 1;
  uint8_t EditViaPopup = 1;
  int32_t PrevChoice = 0;
  int32_t PrintControl = 0;
  uint16_t PrintProcedure = 0;
  int32_t QueryControl = 0;
  uint8_t QuickScan = 0;
  uint8_t RetainRow = 0;
  int32_t SelectControl = 0;
  uint8_t SelectWholeRecord = 0;
  uint8_t Selecting = 0;
  std::vector<BrowseSortRow> Sort;  // by sort order number - 1
  uint8_t StartAtCurrent = 0;
  int32_t ToolControl = 0;
  ToolbarClass* Toolbar = nullptr;
  std::unique_ptr<ToolbarListboxClass> ToolbarItem;
  int32_t ViewControl = 0;
  WindowManager* Window = nullptr;
  int32_t Buffer = 0;  // the caller's record saved while selecting
  FieldPairsClass Fields;

  // --- Set-up. ---
  void Init(int32_t list_control, ::zuna::framework::ListQueue& queue,
            datfile::View& view, RelationManager& primary, WindowManager& window);
  void Init(IListControl& list, datfile::View& view, BrowseQueue& queue,
            RelationManager& primary, WindowManager& window);
  uint8_t AddSortOrder(StepClass* thumb, std::optional<datfile::Key> key = std::nullopt);
  void AddLocator(LocatorClass& locator);
  void AddField(const values::VariableRef& view_field, const values::VariableRef& queue_field);
  // A field whose change since the last fill makes the list fill again.
  void AddResetField(const values::VariableRef& field);
  void AddToolbarTarget(ToolbarClass& toolbar);

  // --- ViewManager overrides. ---
  uint8_t ApplyRange() override;
  void Kill() override;
  uint8_t Next() override;
  uint8_t Previous() override;
  using ViewManager::SetSort;
  using ViewManager::Reset;

  // --- Queries. ---
  int32_t Records();
  virtual void SetQueueRecord();
  void UpdateBuffer();
  void UpdateResets();
  void ResetResets();
  BrowseSortRow* CurrentBrowseSort();

  // --- Filling. ---
  virtual void Fetch(uint8_t Direction);
  virtual void ResetQueue(uint8_t Mode);
  // Extended by lists that count their records.
  virtual void ResetFromView();
  virtual void ResetFromFile();
  virtual void ResetFromBuffer();
  virtual uint8_t SetSort(uint8_t new_order, uint8_t force);
  virtual uint8_t InitSort(uint8_t new_order);
  virtual void ResetSort(uint8_t Force);
  void ResetThumbLimits();

  // --- Events. ---
  virtual void TakeEvent();
  virtual uint8_t TakeKey();
  virtual void TakeNewSelection();
  virtual void TakeScroll(int32_t Event = 0);
  virtual void TakeVCRScroll(int32_t VCRRequest);
  void TakeChoiceChanged();
  virtual void TakeAcceptedLocator();
  virtual void TakeLocate() {}
  virtual void ScrollOne(int32_t Event);
  virtual void ScrollPage(int32_t Event);
  virtual void ScrollEnd(int32_t Event);
  void PostNewSelection();

  // --- Display. ---
  virtual void UpdateWindow();
  virtual void UpdateThumb();
  virtual void UpdateThumbFixed();
  virtual void UpdateViewRecord();
  virtual void SetAlerts();
  void UpdateToolbarButtons();

  // --- Update actions. ---
  virtual uint8_t Ask(uint8_t Request);
  virtual uint8_t AskRecord(uint8_t Request);
  virtual void ResetFromAsk(uint8_t& Request, uint8_t& Response);
  virtual uint8_t NotifyUpdateError();

 protected:
  window::Window* Screen() const;
  int32_t ListControl() const { return ILC != nullptr ? ILC->GetControl() : 0; }
  // The thread's navigation request (the window manager's, else ours).
  int32_t& VCR();

 private:
  void TakeThumbDrag();
  // The row holding `position` (its record), 0 when none; loads rows into
  // the row buffer on the way.
  int32_t FindRow(const std::string& position);
  void TakeAcceptedButton(int32_t control);
  // Insert, Delete, Ctrl+Enter, Shift+Enter, double-click, Apps on a list
  // with rows: true when the key pressed its button.
  bool TakeUpdateKey(int32_t key);
  void TakeCloseWhileSelecting();
  // A full queue's list scrolled so the highlight stays `offset` lines
  // below the top.
  void KeepLine(int32_t offset);
  void RestartAtBuffer();
  // The view restarted at the file's current record (after a form wrote
  // it): false when the view does not hold it.
  bool PositionAtFileRecord();
  bool ButtonUsable(int32_t control) const;
  void Accept(int32_t control);
  bool FilterPasses();

  std::unique_ptr<StandardBehavior> behavior_;
  std::vector<std::unique_ptr<char[]>> reset_storage_;
  int32_t vcr_request_ = 0;
  bool killed_ = false;
};

}  // namespace zuna::framework

#endif  // ZUNA_FRAMEWORK_WINDOW_BROWSE_CLASS_H_
