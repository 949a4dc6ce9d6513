// The probe link fixture with a whole probe session of the fixture's own (its
// link, image, cursor and update), let go with the models.
#pragma once

#include "firmware/probe_session.h"
#include "firmware/update_procedure.h"
#include "tests/support/probe_link_fixture.h"

class ProbeSessionTest : public ProbeLinkTest {
 protected:
  void ForgetProbeState() override {
    ResetUpdateState(session_);
    session_ = ProbeSession{};
  }

  ProbeSession session_;
};
