// BrowseClass: a scrolling list over a view.  The list never holds the
// whole record set: one page of rows (the list queue, one row per line of
// the list box) each carrying its record's view position, so the browse can
// re-read the record, restart the view at any row and find the highlighted
// row again after the page was rebuilt.  Scrolling past either end of the
// page reads only the records that enter it.
//
//   ListQueue queue(std::span<char>(row, sizeof row));  // the row buffer
//   queue.AddColumn(values::RefString(row.name, 30));     // a column in it
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

  // --- Settings (set by the procedure before the first fill). ---
  uint8_t ActiveInvisible = 0;  // fill even while the list is hidden
  uint8_t AllowUnfilled = 0;    // no topping up of a short last page; keep the thumb
  int32_t AskProcedure = 0;     // the update procedure's number; 0: editing in
                                // place, which this program's lists do not use
  uint8_t FileLoaded = 0;       // the queue holds the whole set
  uint8_t UseMRP = 0;
  uint8_t HideSelect = 0;       // hide the select button unless selecting
  uint8_t QuickScan = 0;        // quick-scan reads while filling
  uint8_t RetainRow = 0;        // refills keep the highlighted row's line (Init: 1)
  uint8_t SelectWholeRecord = 0;
  uint8_t StartAtCurrent = 0;   // the first fill starts at the buffer's record
  uint8_t UsePopup = 1;         // right button and Apps open the popup menu
  uint8_t EditViaPopup = 1;     // insert/change/delete/view on the popup menu
  // The window's buttons (0 = none) and the procedures they run.
  int32_t InsertControl = 0;
  int32_t ChangeControl = 0;
  int32_t DeleteControl = 0;
  int32_t ViewControl = 0;
  int32_t SelectControl = 0;
  int32_t PrintControl = 0;
  uint16_t PrintProcedure = 0;
  int32_t QueryControl = 0;     // no query object is built: accepting it locates
  int32_t ToolControl = 0;      // opens the popup menu

  // --- State. ---
  int32_t CurrentChoice = 0;    // the highlighted row, 1-based; 0 none
  int32_t CurrentEvent = 0;     // the scroll event last handled
  uint8_t HasThumb = 0;         // the list box was defined with a scroll bar
  IListControl* ILC = nullptr;
  int32_t ItemsToFill = 0;      // after a Fetch: the rows the view could not give
  int32_t LastChoice = 0;
  int32_t LastItems = 0;        // the page size: the list's lines
  BrowseQueue* ListQueue = nullptr;
  uint8_t LoadPending = 0;      // a fill is owed (hidden, or range/resets changed)
  uint8_t Loaded = 0;           // filled at least once
  uint8_t NeedRefresh = 0;      // for one event: rebuild the page at its end
  std::unique_ptr<PopupClass> Popup;
  int32_t PrevChoice = 0;
  uint8_t Selecting = 0;        // choosing a record for a caller (AddItem sets it)
  std::vector<BrowseSortRow> Sort;  // by sort order number - 1
  ToolbarClass* Toolbar = nullptr;
  std::unique_ptr<ToolbarListboxClass> ToolbarItem;
  WindowManager* Window = nullptr;
  int32_t Buffer = 0;           // the caller's record saved while selecting
  FieldPairsClass Fields;       // (view field, queue field)

  // --- Set-up, in this order, from the procedure's Init (after the
  // window is opened). ---

  // Over a ListQueue shown in list box `list_control`: binds the list box
  // to the queue and calls the second form.
  void Init(int32_t list_control, ::zuna::framework::ListQueue& queue,
            datfile::View& view, RelationManager& primary, WindowManager& window);
  // Makes the sort orders, fields and popup, initialises the view manager
  // and joins `window` (AddItem); when selecting, saves the caller's record.
  void Init(IListControl& list, datfile::View& view, BrowseQueue& queue,
            RelationManager& primary, WindowManager& window);
  // A sort order over `key` with its step object (may be null); becomes
  // current.  Returns its number, 0 when it could not be added.
  uint8_t AddSortOrder(StepClass* thumb, std::optional<datfile::Key> key = std::nullopt);
  // The current sort order's locator.
  void AddLocator(LocatorClass& locator);
  void AddField(const values::VariableRef& view_field, const values::VariableRef& queue_field);
  // A field whose change since the last fill makes the list fill again.
  void AddResetField(const values::VariableRef& field);
  // The frame's toolbar drives this list while it is visible.
  void AddToolbarTarget(ToolbarClass& toolbar);

  // --- ViewManager overrides. ---

  // True when the list's size changed, or (then a fill is owed) the range
  // or the reset fields.
  uint8_t ApplyRange() override;
  // Safe twice; also leaves the window manager.
  void Kill() override;
  // The view manager's read; at the end of the records the reset fields
  // are given back, and a failed read closes the window.
  uint8_t Next() override;
  uint8_t Previous() override;
  using ViewManager::SetSort;
  using ViewManager::Reset;

  // --- Rows and buffers. ---

  // Rows in the queue; also enables the locator only while there are rows.
  int32_t Records();
  // The view's record into the row buffer.  An override that computes
  // display-only columns calls this first.
  virtual void SetQueueRecord();
  // The highlighted row's fields into the record (cleared when no rows).
  void UpdateBuffer();
  void UpdateResets();  // reset fields back to their values at the last fill
  void ResetResets();   // the values at the last fill become the fields' now
  BrowseSortRow* CurrentBrowseSort();

  // --- Filling. ---

  // Up to ItemsToFill records from the page's end (kFillForward) or start
  // (kFillBackward); the page slides, never holding more than LastItems.
  virtual void Fetch(uint8_t Direction);
  // Rebuilds the page: kResetKeepPage from the page's first row, or
  // kResetPositioned from where the caller set the view.  The highlighted
  // record stays highlighted, with RetainRow on its line; when it is gone,
  // the record now on that line is.  Hidden (and not ActiveInvisible): only
  // owes the fill.
  virtual void ResetQueue(uint8_t Mode);
  // After a fill: the thumb's limits and position.  Lists that count their
  // records extend it (call the parent).
  virtual void ResetFromView();
  // The page rebuilt around the record in the file buffer (after a form
  // wrote it).
  virtual void ResetFromFile();
  // The page rebuilt from the key values in the record buffer.
  virtual void ResetFromBuffer();
  // Makes `new_order` current and fills when it, the size, the range or
  // the resets changed, or `force`, or a fill is owed.  True when filled.
  virtual uint8_t SetSort(uint8_t new_order, uint8_t force);
  virtual uint8_t InitSort(uint8_t new_order);
  virtual void ResetSort(uint8_t Force);  // SetSort(the current order, Force)
  // The step object's limits from the first and last records.
  void ResetThumbLimits();

  // --- Events (from the window manager, on the procedure's thread). ---

  virtual void TakeEvent();
  // An alerted key: update keys first, then the locator.  True when used.
  virtual uint8_t TakeKey();
  virtual void TakeNewSelection();
  // A scroll event (0: the current one) when the list has rows.
  virtual void TakeScroll(int32_t Event = 0);
  // A form's navigation request (3005-3010) as a scroll.
  virtual void TakeVCRScroll(int32_t VCRRequest);
  void TakeChoiceChanged();
  virtual void TakeAcceptedLocator();
  virtual void TakeLocate() {}
  virtual void ScrollOne(int32_t Event);
  virtual void ScrollPage(int32_t Event);
  virtual void ScrollEnd(int32_t Event);
  // Highlights CurrentChoice and posts EVENT::NewSelection to the list.
  void PostNewSelection();

  // --- Display. ---

  // Buttons enabled by whether there are rows, the select button, the
  // thumb, the toolbar and the list redisplayed.
  virtual void UpdateWindow();
  virtual void UpdateThumb();
  virtual void UpdateThumbFixed();  // without a step object: where the page stands
  // Reads the highlighted record again through its row's view position
  // (watched, so a later write sees changes made meanwhile).  When it is
  // gone, or no longer sorts where the row does or shows what the row
  // shows, the user is told and NeedRefresh set: nothing is done to it.
  virtual void UpdateViewRecord();
  // Key alerts, the thumb's presence and the popup menu's entries.
  virtual void SetAlerts();
  void UpdateToolbarButtons();

  // --- Update actions. ---

  // Runs the request through the window manager's Run(AskProcedure,
  // Request), again for each navigation request the form leaves.
  virtual uint8_t Ask(uint8_t Request);
  virtual uint8_t AskRecord(uint8_t Request);
  // The list finds its place after the form: a deleted record (or a
  // changed one the filter no longer passes) leaves its line to the next,
  // an inserted or changed one is highlighted on the line, a cancelled
  // request leaves the page as it was.
  virtual void ResetFromAsk(uint8_t& Request, uint8_t& Response);
  // Msg::RecordReadFailed; 1 (rebuild the page).
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
