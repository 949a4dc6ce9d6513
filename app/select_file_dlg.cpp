// The Browse button's open-file dialog.
#include "app/select_file_dlg.h"

CSelectFileDlg::CSelectFileDlg(CWnd* parent)
    : CFileDialog(TRUE, nullptr, nullptr, OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY,
                  kSRecordFilter, parent) {}

CSelectFileDlg::~CSelectFileDlg() = default;

void CSelectFileDlg::OnInitDone() {
  ::SetDlgItemTextW(m_hWnd, IDOK, L"OK");
  CenterWindow(::GetWindow(m_hWnd, GW_OWNER));
  CFileDialog::OnInitDone();
}
