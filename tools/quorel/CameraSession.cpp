#include "CameraSession.h"

#include <cstdio>

#include "QuorelErrorText.h"
#include "QuorelSim.h"

namespace quorel::cli {

MessageWindow CreateMessageWindow(const std::string &command) {
  MessageWindow window(QuorelHost_CreateMessageWindow());
  if (!window) throw CliError(kExitCamera, command + " failed: no message window could be created");
  return window;
}

std::string DescribeErrorCode(int code) {
  return "error " + std::to_string(code) + " (" + error_text::Name(code) + ": " + error_text::Meaning(code) + ")";
}

std::string DescribeErrorCodes(const std::vector<int> &codes) {
  if (codes.empty()) return "no error code recorded";
  std::string text;
  for (size_t i = 0; i < codes.size(); ++i) {
    if (i > 0) text += "; ";
    text += DescribeErrorCode(codes[i]);
  }
  return text;
}

std::shared_ptr<CameraConnection> CameraConnection::Open(const Invocation &inv) {
  if (inv.global.sim && QuorelSim_Enable(inv.global.simConfig.c_str()) == 0) {
    UsageFail(inv.command, "the virtual camera configuration '" + inv.global.simConfig + "' does not parse");
  }
  std::shared_ptr<CameraConnection> c(new CameraConnection());
  c->window_ = CreateMessageWindow(inv.command);
  c->handle_ = Quorel_Initialize(c->window_.get());
  if (c->handle_ == 0) throw CliError(kExitCamera, inv.command + " failed: the camera object could not be created");
  return c;
}

CameraConnection::~CameraConnection() {
  // Release stops acquisition and saves the settings; the window goes after
  // it, since the camera may post to it until then.
  if (handle_ != 0) Quorel_Release(handle_);
}

CameraSession::CameraSession(const Invocation &inv)
    : command_(inv.command), connection_(inv.camera ? inv.camera : CameraConnection::Open(inv)) {
  // A failed initialisation still gives a handle; what it recorded explains
  // the failures of the calls that follow, so say it now.
  std::vector<int> codes = TakeErrors();
  if (!codes.empty()) {
    std::fprintf(stderr, "quorel: camera initialisation reported %s\n", DescribeErrorCodes(codes).c_str());
  }
  if (inv.global.device) Check(Quorel_SetDeviceNumber(handle(), *inv.global.device), "Quorel_SetDeviceNumber");
}

std::vector<int> CameraSession::TakeErrors() {
  std::vector<int> recorded;
  // The history holds at most 20 codes; the bound guards against a library
  // that never runs dry.
  for (int i = 0; i < 64; ++i) {
    int code = Quorel_GetLastError(handle());
    if (code == 0) break;
    recorded.push_back(code);
  }
  std::vector<int> posted;
  QuorelHostMsg msg{};
  while (QuorelHost_PeekMessage(connection_->window(), &msg) == 1) {
    if (msg.message == QUOREL_WM_ERROR) posted.insert(posted.begin(), static_cast<int>(msg.lParam));
  }
  return recorded.empty() ? posted : recorded;
}

void CameraSession::Fail(const std::string &call) {
  std::vector<int> codes = TakeErrors();
  throw CliError(kExitCamera, command_ + " failed: " + DescribeErrorCodes(codes) + " [" + call + "]");
}

void CameraSession::Check(int result, const std::string &call) {
  if (result == 0) Fail(call);
}

void CameraSession::Fail(const std::string &call, int code, const std::string &explanation) {
  std::vector<int> codes = TakeErrors();
  std::string message = command_ + " failed: " + DescribeErrorCodes(codes) + " [" + call + "]";
  for (int c : codes) {
    if (c == code) {
      message += ": " + explanation;
      break;
    }
  }
  throw CliError(kExitCamera, message);
}

void CameraSession::Check(int result, const std::string &call, int code, const std::string &explanation) {
  if (result == 0) Fail(call, code, explanation);
}

}  // namespace quorel::cli
