// COstrelinApp: the application object. Start-up shows the operator window
// modally; when it closes the program ends.
#pragma once

#include "framework/win_app.h"

class COstrelinApp : public CWinApp {
 public:
  COstrelinApp();
  ~COstrelinApp() override;

  BOOL OnCmdMsg(UINT id) override;
  BOOL InitInstance() override;
};
