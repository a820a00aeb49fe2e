#include "settings/settings_exchange_state.h"

#include "platform/clock.h"
#include "platform/serial_io.h"
#include "settings/settings_message.h"

namespace settings {

ExchangeState::ExchangeState(ExchangeCallbacks callbacks, SettingsLayout layout, std::string firmwareVersion)
    : m_layout(layout), m_firmwareVersion(std::move(firmwareVersion)), m_callbacks(std::move(callbacks)) {
  for (HANDLE& event : m_hWaitArray) event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  m_hCancelEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  m_hLineLostEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

ExchangeState::~ExchangeState() {
  for (HANDLE event : m_hWaitArray)
    if (event) CloseHandle(event);
  if (m_hCancelEvent) CloseHandle(m_hCancelEvent);
  if (m_hLineLostEvent) CloseHandle(m_hLineLostEvent);
  if (m_hPort && m_hPort != INVALID_HANDLE_VALUE) CloseHandle(m_hPort);
}

DeviceSettings ExchangeState::Record() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_record;
}

void ExchangeState::SetRecord(const DeviceSettings& record) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_record = record;
  m_readTexts = {};
  m_writeTexts.reset();
}

void ExchangeState::SetWriteTexts(const std::array<std::string, MESSAGE_COUNT>& texts) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_writeTexts = texts;
}

MessageTexts ExchangeState::ReadTexts() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_readTexts;
}

void ExchangeState::KeepReadText(unsigned messageNumber, std::string_view text) {
  if (messageNumber < 1 || messageNumber > MESSAGE_COUNT) return;
  std::lock_guard<std::mutex> lock(m_lock);
  m_readTexts[messageNumber - 1] = std::string(text);
}

SettingsLayout ExchangeState::Layout() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_layout;
}

void ExchangeState::SetLayout(SettingsLayout layout) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_layout = layout;
}

std::string ExchangeState::FirmwareVersion() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_firmwareVersion;
}

std::string ExchangeState::WholeVersion() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_wholeVersion;
}

void ExchangeState::BeginVersionQuery() {
  std::lock_guard<std::mutex> lock(m_lock);
  m_bVersionAwaited = true;
  m_bAnsweredInQuery = false;
}

void ExchangeState::EndVersionQuery(std::string& version, SettingsLayout& layout, bool& answered) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_bVersionAwaited = false;
  version = m_firmwareVersion;
  layout = m_layout;
  answered = m_bAnsweredInQuery;
}

bool ExchangeState::TakeVersion(const std::string& version, SettingsLayout layout, const std::string& whole) {
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_bVersionAwaited.load()) return false;
    m_firmwareVersion = version;
    m_wholeVersion = whole.empty() ? version : whole;
    m_layout = layout;
    m_bAnsweredInQuery = true;
  }
  Notify([&](const ExchangeCallbacks& cb) {
    if (cb.onVersion) cb.onVersion(version, layout);
  });
  return true;
}

std::string ExchangeState::ExpectedMessage(unsigned messageNumber) const {
  char text[MESSAGE_BUFFER_SIZE];
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_writeTexts && messageNumber >= 1 && messageNumber <= MESSAGE_COUNT) {
    // The same bound as a built message: a text that does not fit is empty.
    const std::string exact = (*m_writeTexts)[messageNumber - 1] + "\r";
    return exact.size() < sizeof text ? exact : std::string();
  }
  BuildMessage(m_record, m_layout, messageNumber, text, sizeof text);
  return std::string(text);
}

void ExchangeState::ApplyReadMessage(const char* text, unsigned messageNumber, std::size_t count) {
  DeviceSettings copy;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    ApplyMessage(m_record, m_layout, text, messageNumber, count);
    copy = m_record;
  }
  Notify([&](const ExchangeCallbacks& cb) {
    if (cb.onMessageApplied) cb.onMessageApplied(messageNumber, copy);
  });
}

bool ExchangeState::Send(std::string_view bytes) {
  if (m_hPort == nullptr || m_hPort == INVALID_HANDLE_VALUE || LineLost()) return false;
  DWORD written = 0;
  const bool sent =
      WriteFile(m_hPort, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  if (!sent) MarkLineLost();
  return sent;
}

void ExchangeState::ClearReplies() {
  std::lock_guard<std::mutex> lock(m_replyLock);
  ++m_nReplyGeneration;
  for (HANDLE event : m_hWaitArray) ResetEvent(event);
}

void ExchangeState::SignalReply(int which) {
  std::lock_guard<std::mutex> lock(m_replyLock);
  if (m_nScanGeneration == m_nReplyGeneration) SetEvent(m_hWaitArray[which]);
}

DWORD ExchangeState::ReplyGeneration() const {
  std::lock_guard<std::mutex> lock(m_replyLock);
  return m_nReplyGeneration;
}

DWORD ExchangeState::WaitForReply(DWORD timeoutMs) {
  const HANDLE handles[5] = {m_hWaitArray[0], m_hWaitArray[1], m_hWaitArray[2], m_hCancelEvent, m_hLineLostEvent};
  const DWORD result = WaitForMultipleObjects(5, handles, FALSE, timeoutMs);
  if (result != WAIT_OBJECT_0 && result != WAIT_OBJECT_0 + 1) return result;
  // The events are looked at in order; a failure that is there as well wins.
  if (WaitForSingleObject(m_hWaitArray[2], 0) == WAIT_OBJECT_0) return WAIT_OBJECT_0 + 2;
  if (result == WAIT_OBJECT_0 && WaitForSingleObject(m_hWaitArray[1], 0) == WAIT_OBJECT_0) return WAIT_OBJECT_0 + 1;
  return result;
}

bool ExchangeState::Pause(DWORD ms) {
  const HANDLE handles[2] = {m_hCancelEvent, m_hLineLostEvent};
  return WaitForMultipleObjects(2, handles, FALSE, ms) == WAIT_TIMEOUT;
}

void ExchangeState::MarkLineLost() {
  if (m_bLineLost.exchange(true)) return;
  SetEvent(m_hLineLostEvent);
}

bool ExchangeState::Detach(DWORD timeoutMs) {
  m_bDetached = true;  // no callback starts from here on
  // Wait for one that is running to return: the gate comes free.
  const std::uint64_t deadline = platform::ClockMs() + timeoutMs;
  for (;;) {
    if (m_callbackGate.try_lock()) {
      m_callbackGate.unlock();
      return true;
    }
    if (platform::ClockMs() >= deadline) return false;
    platform::SleepMs(1);
  }
}

void RecordResult(ExchangeState& state, DWORD waitResult) {
  BYTE result;
  switch (waitResult) {
    case WAIT_OBJECT_0 + 0: result = RESULT_OK; break;
    case WAIT_OBJECT_0 + 1: result = RESULT_ERROR; break;
    case WAIT_OBJECT_0 + 2: result = RESULT_MISMATCH; break;
    case WAIT_TIMEOUT: result = RESULT_TIMEOUT; break;
    default: return;
  }
  state.m_nLastResult = result;
  if (result == RESULT_OK) ShowStatus(state, RESULT_LINE, REPLY_OK_TEXT);
  if (result == RESULT_ERROR) ShowStatus(state, RESULT_LINE, REPLY_ERROR_TEXT);
  state.Notify([&](const ExchangeCallbacks& cb) {
    if (cb.onResult) cb.onResult(result);
  });
}

void ShowStatus(ExchangeState& state, int selector, const std::string& text) {
  if (selector != STATUS_LINE && selector != RESULT_LINE) return;
  state.Notify([&](const ExchangeCallbacks& cb) {
    if (cb.onStatus) cb.onStatus(selector, text);
  });
}

}  // namespace settings
