// Process control, window lookup, control access and screenshots for the
// end-to-end tests.
#include "tests/e2e/gui_driver.h"

#include <shlobj.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/support/process_launch.h"

namespace e2e {
namespace {

// The control id of a message box's text.
constexpr int kMessageBoxTextId = 0xFFFF;
// A message box's icon is a static control with one of these ids (Windows,
// Wine).
constexpr int kMessageBoxIconIds[] = {0x0014, 0x0440};

std::wstring ClassName(HWND hwnd) {
  wchar_t name[64] = {};
  ::GetClassNameW(hwnd, name, 64);
  return name;
}

}  // namespace

bool App::Start(const std::wstring& exe, const std::vector<std::wstring>& args) {
  failure_.clear();
  if (!process_.Start(test_process::CommandLine(exe, args))) {
    failure_ = "it did not start (error " + std::to_string(process_.startError()) + ")";
    return false;
  }
  window_ = WaitForDialog(process_.id(), L"", nullptr, kProgramStartMs);
  if (window_ == nullptr) {
    failure_ = process_.Wait(0) ? "it ended without a window" : "no window within the start's wait";
  }
  return window_ != nullptr;
}

bool App::WaitForExit(DWORD timeoutMs) {
  return process_.Wait(timeoutMs);
}

void App::Stop() {
  if (!process_.started()) return;
  if (!WaitForExit(0) && window_ != nullptr && ::IsWindow(window_)) {
    ::PostMessageW(window_, WM_CLOSE, 0, 0);
  }
  process_.End(kExitWaitMs);
  window_ = nullptr;
}

std::vector<HWND> DialogsOf(DWORD pid) {
  struct Search {
    DWORD pid;
    std::vector<HWND> found;
  } search{pid, {}};
  ::EnumWindows(
      [](HWND hwnd, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(hwnd, &owner);
        if (owner == s->pid && ::IsWindowVisible(hwnd) && ClassName(hwnd) == L"#32770") {
          s->found.push_back(hwnd);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForDialog(DWORD pid, const std::wstring& title, HWND except, DWORD timeoutMs) {
  HWND result = nullptr;
  WaitUntil(
      [&] {
        for (HWND hwnd : DialogsOf(pid)) {
          if (hwnd != except && (title.empty() || Text(hwnd) == title)) {
            result = hwnd;
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  return result;
}

std::wstring Text(HWND hwnd) {
  // WM_GETTEXT, so that a control of another process answers with its text.
  const LRESULT length = ::SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT got =
      ::SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(got));
  return text;
}

std::wstring ItemText(HWND dialog, int id) {
  return Text(::GetDlgItem(dialog, id));
}

void SetItemText(HWND dialog, int id, const std::wstring& text) {
  ::SetDlgItemTextW(dialog, id, text.c_str());
}

void Click(HWND dialog, int id) {
  ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

bool IsItemEnabled(HWND dialog, int id) {
  return ::IsWindowEnabled(::GetDlgItem(dialog, id));
}

bool IsItemVisible(HWND dialog, int id) {
  return ::IsWindowVisible(::GetDlgItem(dialog, id));
}

bool IsChecked(HWND dialog, int id) {
  return ::SendMessageW(::GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void PressKey(HWND control, WPARAM key) {
  const UINT scan = ::MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
  ::PostMessageW(control, WM_KEYDOWN, key, 1 | (static_cast<LPARAM>(scan) << 16));
  ::PostMessageW(control, WM_KEYUP, key, 1 | (static_cast<LPARAM>(scan) << 16) | (3u << 30));
}

void Type(HWND control, const std::wstring& text) {
  for (wchar_t c : text) ::PostMessageW(control, WM_CHAR, c, 1);
}

bool DropFiles(DWORD pid, HWND window, const std::vector<std::wstring>& paths) {
  DROPFILES header{};
  header.pFiles = sizeof(header);
  header.fWide = TRUE;
  std::vector<uint8_t> block(sizeof(header));
  std::memcpy(block.data(), &header, sizeof(header));
  auto append = [&](const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.c_str());
    block.insert(block.end(), bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
  };
  for (const std::wstring& path : paths) append(path);
  append(L"");
  HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
  if (process == nullptr) return false;
  void* remote =
      ::VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  const bool written = remote != nullptr && ::WriteProcessMemory(process, remote, block.data(),
                                                                 block.size(), nullptr) != 0;
  ::CloseHandle(process);
  return written && ::PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0) != 0;
}

bool WaitForMessageBox(DWORD pid, MessageBoxInfo& box, DWORD timeoutMs, HWND except) {
  box = MessageBoxInfo{};
  return WaitUntil(
      [&] {
        for (HWND hwnd : DialogsOf(pid)) {
          if (hwnd == except || ::GetDlgItem(hwnd, kMessageBoxTextId) == nullptr) continue;
          box.hwnd = hwnd;
          box.caption = Text(hwnd);
          box.text = ItemText(hwnd, kMessageBoxTextId);
          for (int id : kMessageBoxIconIds) {
            HWND icon = ::GetDlgItem(hwnd, id);
            if (icon != nullptr && ::IsWindowVisible(icon) &&
                ::SendMessageW(icon, STM_GETICON, 0, 0) != 0) {
              box.hasIcon = true;
            }
          }
          for (HWND child = ::GetWindow(hwnd, GW_CHILD); child != nullptr;
               child = ::GetWindow(child, GW_HWNDNEXT)) {
            if (ClassName(child) == L"Button" && ::IsWindowVisible(child)) {
              box.buttons.push_back(::GetDlgCtrlID(child));
            }
          }
          return true;
        }
        return false;
      },
      timeoutMs);
}

bool Answer(const MessageBoxInfo& box, int buttonId) {
  HWND button = ::GetDlgItem(box.hwnd, buttonId);
  if (button == nullptr) return false;
  ::PostMessageW(button, BM_CLICK, 0, 0);
  return WaitUntil([&] { return !::IsWindow(box.hwnd) || !::IsWindowVisible(box.hwnd); });
}

bool NoMessageBox(DWORD pid) {
  for (HWND hwnd : DialogsOf(pid)) {
    if (::GetDlgItem(hwnd, kMessageBoxTextId) != nullptr) return false;
  }
  return true;
}

bool SaveScreenshot(const std::wstring& path, DWORD pid) {
  RECT area{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  if (pid != 0) {
    // Client areas: without a window manager nothing paints the frames.
    RECT windows{};
    for (HWND hwnd : DialogsOf(pid)) {
      RECT rect;
      POINT origin{0, 0};
      if (!::GetClientRect(hwnd, &rect) || !::ClientToScreen(hwnd, &origin)) continue;
      ::OffsetRect(&rect, origin.x, origin.y);
      ::UnionRect(&windows, &windows, &rect);
    }
    if (!::IsRectEmpty(&windows)) ::IntersectRect(&area, &area, &windows);
  }
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool saved = false;
  if (bitmap != nullptr && memory != nullptr) {
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    ::SelectObject(memory, previous);
    const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
    file.bfSize = file.bfOffBits + imageBytes;
    info.bmiHeader.biSizeImage = imageBytes;
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
    out.write(static_cast<const char*>(bits), imageBytes);
    saved = static_cast<bool>(out);
  }
  if (bitmap != nullptr) ::DeleteObject(bitmap);
  if (memory != nullptr) ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return saved;
}

}  // namespace e2e
