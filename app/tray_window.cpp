// The tray window over plain Win32: a dialog built in memory (so tools find
// it as the operator window), its controls made at start, tiles painted in
// their state's colour with large bold text, the MES line looked at again
// on a timer, and every GDI object made once and deleted when the window
// goes.
#include "app/tray_window.h"

// clang-format off
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <map>

#include "app/job_window.h"
#include "app/tray_window_links.h"
#include "ledger/ledger_opener_win32.h"
#include "ledger/operation_record.h"
#include "line/job_load.h"
#include "line/mes_http.h"
#include "line/mes_probe_events.h"
#include "line/system_trust.h"
#include "line/utc_time.h"
#include "messages/app_version.h"
#include "res/resource.h"

namespace {

constexpr int kWidth = 1280, kHeight = 800;
constexpr int kMargin = 12, kHeaderLine = 34, kHeaderLines = 5, kGap = 10;
// The header's lines said in the alarm's colour: the notice and the MES.
constexpr int kNoticeLine = 3, kMesLine = 4;
constexpr UINT_PTR kMesTimerId = 1;
constexpr int kPauseWidth = 200, kPauseHeight = 64, kBarHeight = 28;
// A tile's state is read from across the bench: large, smaller only when a
// long message would not fit.
constexpr int kStateFontPx = 40, kTileFontPx = 30, kHeaderFontPx = 24;
constexpr COLORREF kInk = RGB(0, 0, 0), kAlarm = RGB(176, 0, 0);
constexpr wchar_t kCaption[] = L"Velkoro tray";

COLORREF StateColour(SlotState state) {
  switch (state) {
    case SlotState::kEmpty:
      return RGB(224, 224, 224);
    case SlotState::kAttached:
      return RGB(200, 220, 255);
    case SlotState::kUpdating:
    case SlotState::kResetting:
    case SlotState::kWriting:
      return RGB(255, 224, 130);
    case SlotState::kPass:
      return RGB(120, 210, 120);
    case SlotState::kFail:
      return RGB(240, 110, 110);
  }
  return RGB(255, 255, 255);
}

// Sets a control's text only when it changes: each setting repaints it.
void ShowText(HWND control, const std::wstring& text) {
  wchar_t shown[512] = {};
  ::GetWindowTextW(control, shown, 512);
  if (text != shown) ::SetWindowTextW(control, text.c_str());
}

HFONT BoldFont(int px) {
  return ::CreateFontW(-px, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"Arial");
}

class TrayWindow {
 public:
  TrayWindow(TrayRunner& runner, QueueSink& sink)
      : runner_(runner), sink_(sink), board_(runner.job().slots) {}
  ~TrayWindow();
  INT_PTR Show(HINSTANCE instance);

 private:
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Create();
  void Layout();
  void TakeEvents();
  void ShowTile(int slot);
  void DrawTile(const DRAWITEMSTRUCT& item);
  void ShowHeader();
  void AskClose();

  TrayRunner& runner_;
  QueueSink& sink_;
  TrayBoard board_;
  HWND window_ = nullptr;
  HWND header_[kHeaderLines] = {};
  HWND pause_ = nullptr;
  std::vector<HWND> tiles_, bars_;
  HFONT stateFont_ = nullptr, tileFont_ = nullptr, headerFont_ = nullptr;
  std::map<SlotState, HBRUSH> brushes_;
  HBRUSH background_ = nullptr;
  bool closing_ = false;
};

TrayWindow::~TrayWindow() {
  for (auto& [state, brush] : brushes_) ::DeleteObject(brush);
  for (HGDIOBJ object : {static_cast<HGDIOBJ>(stateFont_), static_cast<HGDIOBJ>(tileFont_),
                         static_cast<HGDIOBJ>(headerFont_), static_cast<HGDIOBJ>(background_)}) {
    if (object != nullptr) ::DeleteObject(object);
  }
}

INT_PTR TrayWindow::Show(HINSTANCE instance) {
  // An empty template: the controls are made at start, sized to the screen.
  struct {
    DLGTEMPLATE head;
    WORD menu, windowClass, title;
  } empty = {};
  empty.head.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE;
  empty.head.cx = 400;
  empty.head.cy = 300;
  return ::DialogBoxIndirectParamW(instance, &empty.head, nullptr, Proc,
                                   reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK TrayWindow::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    reinterpret_cast<TrayWindow*>(lParam)->window_ = hwnd;
  }
  auto* self = reinterpret_cast<TrayWindow*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR TrayWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      Create();
      sink_.SetWindow(window_);
      runner_.Start();
      if (!runner_.job().mes.empty()) ::SetTimer(window_, kMesTimerId, kMesShowEveryMs, nullptr);
      return TRUE;
    case kTrayEventsWaiting:
      TakeEvents();
      return TRUE;
    case WM_TIMER:
      if (wParam != kMesTimerId) return FALSE;
      board_.SetMesWaiting(runner_.MesWaiting());
      ShowHeader();
      return TRUE;
    case WM_DESTROY:
      ::KillTimer(window_, kMesTimerId);
      return FALSE;
    case WM_CTLCOLORSTATIC: {
      const HDC dc = reinterpret_cast<HDC>(wParam);
      const HWND control = reinterpret_cast<HWND>(lParam);
      ::SetTextColor(
          dc, control == header_[kNoticeLine] || control == header_[kMesLine] ? kAlarm : kInk);
      ::SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<INT_PTR>(background_);
    }
    case WM_DRAWITEM:
      DrawTile(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_TRAY_PAUSE) {
        board_.SetPaused(!board_.paused());
        runner_.SetPaused(board_.paused());
        ::SetWindowTextW(pause_, board_.paused() ? L"RESUME" : L"PAUSE");
        ShowHeader();
      } else if (LOWORD(wParam) == IDCANCEL) {
        AskClose();
      }
      return TRUE;
    case WM_CLOSE:
      AskClose();
      return TRUE;
    default:
      return FALSE;
  }
}

void TrayWindow::Create() {
  const LineJob& job = runner_.job();
  ::SetWindowTextW(window_, (std::wstring(kCaption) + L" - " + WideFromUtf8(job.name)).c_str());
  stateFont_ = BoldFont(kStateFontPx);
  tileFont_ = BoldFont(kTileFontPx);
  headerFont_ = BoldFont(kHeaderFontPx);
  background_ = ::CreateSolidBrush(RGB(250, 250, 250));
  for (SlotState state :
       {SlotState::kEmpty, SlotState::kAttached, SlotState::kUpdating, SlotState::kResetting,
        SlotState::kWriting, SlotState::kPass, SlotState::kFail}) {
    brushes_[state] = ::CreateSolidBrush(StateColour(state));
  }
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const auto make = [&](const wchar_t* cls, DWORD style, int id, HFONT font) {
    const HWND control =
        ::CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, window_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
  };
  // The lines that may hold the store's path (its line, the notice) give way
  // in the path's middle, keeping the file's name and what follows it,
  // rather than losing their end under PAUSE; the others end in an ellipsis.
  for (int line = 0; line < kHeaderLines; ++line) {
    const DWORD fit = line % 2 == 1 ? SS_PATHELLIPSIS : SS_ENDELLIPSIS;
    header_[line] =
        make(L"STATIC", SS_LEFT | fit | SS_NOPREFIX, IDC_TRAY_HEADER + line, headerFont_);
  }
  pause_ = make(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, IDC_TRAY_PAUSE, tileFont_);
  ::SetWindowTextW(pause_, L"PAUSE");
  for (int slot = 0; slot < board_.slots(); ++slot) {
    // Drawn by the window (DrawTile); its text stays the control's own, for
    // screen readers. It leaves its bar, above it, unpainted.
    tiles_.push_back(
        make(L"STATIC", SS_OWNERDRAW | WS_CLIPSIBLINGS, IDC_TRAY_TILE + slot, tileFont_));
    bars_.push_back(make(PROGRESS_CLASSW, 0, IDC_TRAY_BAR + slot, nullptr));
    ::SetWindowPos(bars_.back(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_HIDEWINDOW);
    ShowTile(slot);
  }
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08X", job.imageCrc32);
  ::SetWindowTextW(header_[0],
                   WideFromUtf8("Job " + job.name + "   Tag " + runner_.run().tag()).c_str());
  ::SetWindowTextW(
      header_[1], WideFromUtf8("Version " + job.expectVersion.value_or("-") + "   Image CRC-32 " +
                               (job.image.empty() ? "-" : crc) + "   Store " + runner_.StoreShown())
                      .c_str());
  board_.SetMesWaiting(runner_.MesWaiting());
  ShowHeader();
  Layout();
}

void TrayWindow::Layout() {
  RECT work{0, 0, kWidth, kHeight};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int width = std::min<int>(kWidth, work.right - work.left);
  const int height = std::min<int>(kHeight, work.bottom - work.top);
  ::SetWindowPos(window_, nullptr, work.left, work.top, width, height, SWP_NOZORDER);
  RECT client;
  ::GetClientRect(window_, &client);
  for (int line = 0; line < kHeaderLines; ++line) {
    ::MoveWindow(header_[line], kMargin, kMargin + line * kHeaderLine,
                 client.right - 3 * kMargin - kPauseWidth, kHeaderLine, FALSE);
  }
  ::MoveWindow(pause_, client.right - kMargin - kPauseWidth, kMargin, kPauseWidth, kPauseHeight,
               FALSE);
  const int slots = board_.slots();
  const int columns = slots <= 4 ? slots : slots <= 8 ? 4 : slots <= 18 ? 6 : 8;
  const int rows = (slots + columns - 1) / columns;
  const int top = 2 * kMargin + kHeaderLines * kHeaderLine;
  const int tileW = (client.right - kMargin - columns * kGap) / columns;
  const int tileH = (client.bottom - top - kMargin - (rows - 1) * kGap) / rows;
  for (int slot = 0; slot < slots; ++slot) {
    const int x = kMargin + (slot % columns) * (tileW + kGap);
    const int y = top + (slot / columns) * (tileH + kGap);
    ::MoveWindow(tiles_[static_cast<size_t>(slot)], x, y, tileW, tileH, FALSE);
    ::MoveWindow(bars_[static_cast<size_t>(slot)], x + kGap, y + tileH - kBarHeight - kGap,
                 tileW - 2 * kGap, kBarHeight, FALSE);
  }
  ::InvalidateRect(window_, nullptr, TRUE);
}

// Each tile is shown once a batch, however many of its events queued up: a
// window behind its slots catches up instead of painting every percent.
void TrayWindow::TakeEvents() {
  std::vector<bool> changed(static_cast<size_t>(board_.slots()), false);
  for (const SlotEvent& event : sink_.Take()) {
    if (!board_.Apply(event)) continue;
    if (event.kind == SlotEventKind::kEnded) continue;
    if (event.slot >= 0 && event.slot < board_.slots() && event.kind != SlotEventKind::kLeft &&
        event.kind != SlotEventKind::kStoreFailed && event.kind != SlotEventKind::kStoreBack) {
      changed[static_cast<size_t>(event.slot)] = true;
    }
  }
  for (int slot = 0; slot < board_.slots(); ++slot) {
    if (changed[static_cast<size_t>(slot)]) ShowTile(slot);
  }
  ShowHeader();
  if (closing_ && board_.AllEnded()) ::EndDialog(window_, IDOK);
}

void TrayWindow::ShowTile(int slot) {
  const SlotView& view = board_.view(slot);
  const HWND tile = tiles_[static_cast<size_t>(slot)];
  // The state's word is in the text, so a tile whose text stays needs no
  // paint; a new text repaints the tile by itself.
  ShowText(tile, WideFromUtf8(SlotText(slot, view)));
  const HWND bar = bars_[static_cast<size_t>(slot)];
  const bool updating = view.state == SlotState::kUpdating;
  if (updating) ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(view.percent), 0);
  ::ShowWindow(bar, updating ? SW_SHOWNA : SW_HIDE);
}

// The slot's name small at the top; its state large in the middle, in the
// largest size at which it fits above the bar.
void TrayWindow::DrawTile(const DRAWITEMSTRUCT& item) {
  const int slot = static_cast<int>(item.CtlID) - IDC_TRAY_TILE;
  if (slot < 0 || slot >= board_.slots()) return;
  const SlotView& view = board_.view(slot);
  const HDC dc = item.hDC;
  ::FillRect(dc, &item.rcItem, brushes_[view.state]);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, kInk);
  const std::wstring text = WideFromUtf8(SlotText(slot, view));
  const size_t split = text.find(L": ");
  const std::wstring name = text.substr(0, split);
  const std::wstring state = split == std::wstring::npos ? L"" : text.substr(split + 2);
  const HGDIOBJ before = ::SelectObject(dc, headerFont_);
  RECT top = item.rcItem;
  ::InflateRect(&top, -kGap, -kGap);
  ::DrawTextW(dc, name.c_str(), -1, &top, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  const RECT body{item.rcItem.left + kGap, item.rcItem.top + kGap + kHeaderLine,
                  item.rcItem.right - kGap, item.rcItem.bottom - 2 * kGap - kBarHeight};
  constexpr UINT kWrapped = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
  for (HFONT font : {stateFont_, tileFont_, headerFont_}) {
    ::SelectObject(dc, font);
    RECT need = body;
    ::DrawTextW(dc, state.c_str(), -1, &need, kWrapped | DT_CALCRECT);
    const bool fits = need.right <= body.right && need.bottom <= body.bottom;
    if (!fits && font != headerFont_) continue;
    RECT at = body;
    at.top += std::max<LONG>(0, (body.bottom - need.bottom) / 2);
    ::DrawTextW(dc, state.c_str(), -1, &at, kWrapped);
    break;
  }
  ::SelectObject(dc, before);
}

void TrayWindow::ShowHeader() {
  const std::optional<int64_t>& left = board_.left();
  ShowText(header_[2], WideFromUtf8(CountsText(board_.counts()) + "   Left in range " +
                                    (left ? std::to_string(*left) : std::string("-"))));
  const std::string notice =
      closing_ ? "Closing: each slot finishes its step, then the window closes."
      : !board_.storeProblem().empty() ? board_.storeProblem() + " Trying again every 5 s."
      : board_.paused()                ? "Paused: slots finish their probe and start no new one."
                                       : "";
  ShowText(header_[kNoticeLine], WideFromUtf8(notice));
  ShowText(header_[kMesLine], WideFromUtf8(board_.MesLine()));
}

void TrayWindow::AskClose() {
  if (closing_) return;
  const std::string question = board_.CloseQuestion();
  if (!question.empty() && ::MessageBoxW(window_, WideFromUtf8(question).c_str(), kCaption,
                                         MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  closing_ = true;
  runner_.Stop();
  ShowHeader();
  TakeEvents();
}

}  // namespace

bool FindTrayArgument(const std::vector<std::u16string>& args) {
  for (const std::u16string& arg : args) {
    std::u16string lower = arg;
    for (char16_t& c : lower) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    if (lower == u"--tray" || lower == u"/tray") return true;
  }
  return false;
}

bool RunTrayWindow(HINSTANCE instance, const std::u16string& jobPath) {
  QueueSink sink;
  MutexHold hold;
  SleepingWaiter waiter;
  Win32LedgerOpener opener;
  std::string message;
  bool shown = false;
  {
    TrayRunner runner(sink, hold);
    if (runner.Open(jobPath, opener, waiter, StationContext(), UtcTextNow, &message,
                    ProgramTrustContext(),
                    MesAccess{MesProgramDataFolder(), MakeWinHttpMesPoster})) {
      waiter.SetLongestWaitMs(kTrayHeldStoreWaitMs);
      TrayWindow window(runner, sink);
      window.Show(instance);
      shown = true;
    }
    // The runner joins its threads before the sink and the hold go.
    sink.SetWindow(nullptr);
  }
  if (!shown) ShowJobError(nullptr, FromUtf8(message));
  return shown;
}
