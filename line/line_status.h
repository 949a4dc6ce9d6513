// The statuses the line's steps end with beside the probe's result codes
// (1 to 22); both programs report them, the console as its exit status.
#pragma once

// The operator answered No to the write's or the update's question:
// nothing on the probe was changed.
inline constexpr int kLineDeclined = 23;
// After the reset the probe never answered (or was never seen to go away
// for its reset) within the time given.
inline constexpr int kVersionNeverAnswered = 24;
// The probe came back after its reset and answered another version.
inline constexpr int kVersionOther = 25;
// The image is not the one pinned (by CRC-32 or the job's SHA-256).
inline constexpr int kImageNotPinned = 26;
// Every number of the job's range is held: no probe was touched.
inline constexpr int kJobRangeUsedUp = 27;
// Every unit of the job's cap is held (made, or claimed by a station that
// is making one or was killed doing so): no probe was touched.
inline constexpr int kJobUnitsUsedUp = 28;
// The store refused a record or a claim: the run ends there.
inline constexpr int kLineLogFailed = 74;
// The line's MES has not taken its events for longer than the job allows
// (mes_hold_minutes) and the front-end does not wait for it: no probe was
// touched; the same status as the console's mes flush that left events.
inline constexpr int kLineHeld = 75;
// The job may not run on this PC: unsigned, changed after signing, signed
// by a key not trusted here, expired, or a trusted key file is unusable.
inline constexpr int kJobNotAuthorized = 77;
// The job file cannot be used.
inline constexpr int kJobUnusable = 78;
// Ctrl+C (or the window's close) ended a wait.
inline constexpr int kLineInterrupted = 130;
