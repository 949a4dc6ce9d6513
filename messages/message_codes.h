// The operator's messages by code, 0 to 27. Questions and instructions come
// first; 6 to 27 are the failures, each shown for one result code.
#pragma once

inline constexpr int kMsgAskUpdate = 0;       // completed by the version text
inline constexpr int kMsgLedQuestion = 1;     // the confirmation dialog's line
inline constexpr int kMsgPushResetSwitch = 2;
inline constexpr int kMsgUpdateSucceeded = 3;
inline constexpr int kMsgAskWriteSerial = 4;
inline constexpr int kMsgWriteSucceeded = 5;
inline constexpr int kMsgConnectFailed = 6;
inline constexpr int kMsgSeveralProbes = 7;
inline constexpr int kMsgCloseFailed = 8;
inline constexpr int kMsgSendFailed = 9;
inline constexpr int kMsgReceiveFailed = 10;
inline constexpr int kMsgVersionReadFailed = 11;
inline constexpr int kMsgSerialReadFailed = 12;
inline constexpr int kMsgVersionTooOldForSerial = 13;
inline constexpr int kMsgSerialNotAscii = 14;
inline constexpr int kMsgSerialTooLong = 15;
inline constexpr int kMsgSerialWriteFailed = 16;
inline constexpr int kMsgSerialVerifyFailed = 17;
inline constexpr int kMsgNoFile = 18;
inline constexpr int kMsgSpanTooLarge = 19;
inline constexpr int kMsgNotSRecord = 20;
inline constexpr int kMsgEraseFailed = 21;
inline constexpr int kMsgFlashWriteFailed = 22;
inline constexpr int kMsgFlashReadFailed = 23;
inline constexpr int kMsgFlashVerifyFailed = 24;
inline constexpr int kMsgExecuteFailed = 25;
inline constexpr int kMsgUpdateFailed = 26;
inline constexpr int kMsgVersionTooOldForUpdate = 27;

inline constexpr int kMessageCodes = 28;

// What a code given to ShowMessage names: a message code as it is, or a result
// code that the result table turns into its message code.
enum class CodeKind { kMessage, kResult };
