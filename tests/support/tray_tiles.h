// The tray window's tiles as another process reads them: each tile's text
// ("Slot N: STATE[ SERIAL][: MESSAGE]") is its control's window text.
#pragma once

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/e2e/gui_driver.h"

namespace tray_tiles {

// Every tile's text, in slot order (the tiles are made in that order).
inline std::vector<std::wstring> Tiles(HWND window) {
  std::vector<std::wstring> tiles;
  ::EnumChildWindows(
      window,
      [](HWND child, LPARAM param) -> BOOL {
        const std::wstring text = e2e::Text(child);
        if (text.rfind(L"Slot ", 0) == 0)
          reinterpret_cast<std::vector<std::wstring>*>(param)->push_back(text);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&tiles));
  return tiles;
}

inline std::wstring Tile(HWND window, size_t slot) {
  const std::vector<std::wstring> tiles = Tiles(window);
  return slot < tiles.size() ? tiles[slot] : std::wstring();
}

// Whether the slot's tile says the state (or any text it starts with).
inline bool TileStarts(HWND window, size_t slot, const std::wstring& state) {
  return Tile(window, slot).rfind(L"Slot " + std::to_wstring(slot) + L": " + state, 0) == 0;
}

// The first `slots` tiles' texts as Windows keeps them (GetWindowText),
// without a message to the window: for a watcher that must not load the
// window it times.
inline std::vector<std::wstring> KeptTiles(HWND window, size_t slots) {
  std::vector<std::wstring> tiles;
  for (size_t slot = 0; slot < slots; ++slot) {
    wchar_t text[512] = {};
    ::GetWindowTextW(::GetDlgItem(window, IDC_TRAY_TILE + static_cast<int>(slot)), text, 512);
    tiles.push_back(text);
  }
  return tiles;
}

// How many of the first `slots` tiles start with the state, read as KeptTiles.
inline size_t TilesSaying(HWND window, size_t slots, const std::wstring& state) {
  const std::vector<std::wstring> tiles = KeptTiles(window, slots);
  size_t count = 0;
  for (size_t slot = 0; slot < tiles.size(); ++slot) {
    if (tiles[slot].rfind(L"Slot " + std::to_wstring(slot) + L": " + state, 0) == 0) ++count;
  }
  return count;
}

}  // namespace tray_tiles
