// CSelectFileDlg: the open-file dialog of the Browse button, offering the
// S-record files first; its default button reads "OK" and it opens centred
// over the operator window.
#pragma once

#include "framework/file_dialog.h"

// The filter of the dialog: three entries, "*.saf" selected at opening.
inline constexpr wchar_t kSRecordFilter[] =
    L"S Record File(*.saf)|*.saf|S Record File(*.sa)|*.sa|All Files(*.*)|*.*|";

class CSelectFileDlg : public CFileDialog {
 public:
  // Open dialog, no default extension, no initial name, existing files only,
  // the current directory kept, no read-only box (0x100C).
  explicit CSelectFileDlg(CWnd* parent = nullptr);
  ~CSelectFileDlg() override;

 protected:
  void OnInitDone() override;
};
