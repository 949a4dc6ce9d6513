// The rules for taking a firmware file name from the open-file dialog or a
// drop on the operator window. Portable, so the tests reach them without a
// real dialog or drop.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The most characters the file name box and m_fileName hold.
inline constexpr size_t kFileNameLimit = 256;
// A dropped path is taken into a buffer of this many characters, terminator
// included: a longer path arrives cut to one character over the limit, and so
// is refused like any other over-long path.
inline constexpr size_t kDropPathBufferChars = kFileNameLimit + 2;

// True while the window is idle and a dropped file is taken. Only
// SetControlState writes it.
extern bool g_acceptDrops;

// Sets fileName to path when the path is not empty and fits the limit;
// otherwise leaves it unchanged. Returns whether the path was taken.
bool TakeChosenPath(std::u16string& fileName, std::u16string_view path);

// Whether a drop of fileCount files is looked at: only one file, only while
// drops are taken.
bool DropIsTaken(bool acceptDrops, unsigned fileCount);
