// One WinHTTP session per poster; a connection and a request per post, each
// handle closed on every path. An error names the WinHTTP call and its
// error code, captured at the failing call. The program data folder from
// the environment.
#include <windows.h>
#include <winhttp.h>

#include "ledger/operation_record.h"
#include "line/job_load.h"
#include "line/mes_http.h"

namespace {

constexpr wchar_t kAgent[] = L"Velkoro writer MES sender";
constexpr wchar_t kJsonHeader[] = L"Content-Type: application/json\r\n";

// A WinHTTP handle closed when it goes out of scope.
class Handle {
 public:
  explicit Handle(HINTERNET handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != nullptr) WinHttpCloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HINTERNET get() const { return handle_; }

 private:
  HINTERNET handle_;
};

MesAnswer Failed(const char* call, DWORD code) {
  MesAnswer answer;
  const char* what = code == ERROR_WINHTTP_CANNOT_CONNECT            ? "refused or unreachable"
                     : code == ERROR_WINHTTP_TIMEOUT                 ? "timed out"
                     : code == ERROR_WINHTTP_CONNECTION_ERROR        ? "connection closed"
                     : code == ERROR_WINHTTP_INVALID_SERVER_RESPONSE ? "not an HTTP answer"
                                                                     : "failed";
  answer.error = std::string(call) + " " + what + " (WinHTTP error " + std::to_string(code) + ")";
  return answer;
}

class WinHttpPoster : public MesPoster {
 public:
  WinHttpPoster(const MesUrl& url, const std::string& token)
      : url_(url),
        host_(WideFromUtf8(url.host)),
        path_(WideFromUtf8(url.path)),
        session_(WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0)),
        openError_(session_.get() == nullptr ? GetLastError() : 0) {
    if (!token.empty()) authorization_ = L"Authorization: Bearer " + WideFromUtf8(token) + L"\r\n";
    if (session_.get() != nullptr) {
      WinHttpSetTimeouts(session_.get(), kMesHttpResolveMs, kMesHttpConnectMs, kMesHttpSendMs,
                         kMesHttpReceiveMs);
    }
  }

  ~WinHttpPoster() override {
    // The token's copy is cleared before its memory goes back.
    SecureZeroMemory(authorization_.data(), authorization_.size() * sizeof(wchar_t));
  }

  MesAnswer Post(const std::string& eventId, const std::string& body) override {
    if (session_.get() == nullptr) return Failed("WinHttpOpen", openError_);
    Handle connection(
        WinHttpConnect(session_.get(), host_.c_str(), static_cast<INTERNET_PORT>(url_.port), 0));
    if (connection.get() == nullptr) return Failed("WinHttpConnect", GetLastError());
    Handle request(WinHttpOpenRequest(connection.get(), L"POST", path_.c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      url_.https ? WINHTTP_FLAG_SECURE : 0));
    if (request.get() == nullptr) return Failed("WinHttpOpenRequest", GetLastError());
    // The wait for the answer's headers has a time-out of its own, which
    // the session's time-outs do not set everywhere (not under Wine).
    DWORD answerMs = kMesHttpReceiveMs;
    WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &answerMs,
                     sizeof answerMs);
    std::wstring headers = kJsonHeader;
    headers += L"Idempotency-Key: " + WideFromUtf8(eventId) + L"\r\n";
    headers += authorization_;
    const BOOL sent =
        WinHttpSendRequest(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                           const_cast<char*>(body.data()), static_cast<DWORD>(body.size()),
                           static_cast<DWORD>(body.size()), 0);
    SecureZeroMemory(headers.data(), headers.size() * sizeof(wchar_t));
    if (!sent) return Failed("WinHttpSendRequest", GetLastError());
    if (!WinHttpReceiveResponse(request.get(), nullptr)) {
      return Failed("WinHttpReceiveResponse", GetLastError());
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
      return Failed("WinHttpQueryHeaders", GetLastError());
    }
    MesAnswer answer;
    answer.status = static_cast<int>(status);
    // The answer's body is read to its end, so a body cut short counts as
    // no answer: the event is kept rather than taken as confirmed.
    char buffer[1024];
    for (;;) {
      DWORD read = 0;
      if (!WinHttpReadData(request.get(), buffer, sizeof buffer, &read)) {
        return Failed("WinHttpReadData", GetLastError());
      }
      if (read == 0) break;
    }
    return answer;
  }

 private:
  MesUrl url_;
  std::wstring host_;
  std::wstring path_;
  std::wstring authorization_;
  Handle session_;
  DWORD openError_;
};

}  // namespace

std::unique_ptr<MesPoster> MakeWinHttpMesPoster(const MesUrl& url, const std::string& token) {
  return std::make_unique<WinHttpPoster>(url, token);
}

std::string MesProgramDataFolder() {
  wchar_t folder[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"ProgramData", folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "C:/ProgramData";
  // wchar_t is UTF-16 on Windows.
  return Utf8(std::u16string(folder, folder + length));
}
