#include "settings/settings_exchange.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"

namespace settings {

char firmwareVersion[FIRMWARE_VERSION_LENGTH + 1] = {};
std::string firmwareVersionWhole;

void RememberFirmware(const VersionAnswer& answer) {
  if (!answer.answered) return;
  std::memset(firmwareVersion, 0, sizeof firmwareVersion);
  // The array keeps its last byte zero: it ends the text.
  std::copy_n(answer.text.data(), std::min(answer.text.size(), FIRMWARE_VERSION_LENGTH), firmwareVersion);
  firmwareVersionWhole = answer.whole.empty() ? answer.text : answer.whole;
  extendedFirmware = answer.layout == SettingsLayout::Extended;
}

namespace {
constexpr char kVersionQuery[] = "kv+fwv\r";
constexpr char kTextModeCommand[] = "at+cmgf=1\r";

// Starts `routine` with its own reference to the shared state.
HANDLE StartThread(LPTHREAD_START_ROUTINE routine, const std::shared_ptr<ExchangeState>& state) {
  auto* held = new std::shared_ptr<ExchangeState>(state);
  HANDLE thread = CreateThread(nullptr, 0, routine, held, 0, nullptr);
  if (thread == nullptr) delete held;
  return thread;
}

// Waits for a thread to end; closes its handle and forgets it when it did.
bool AwaitThread(HANDLE& thread, DWORD timeoutMs) {
  if (thread == nullptr) return true;
  if (WaitForSingleObject(thread, timeoutMs) != WAIT_OBJECT_0) return false;
  CloseHandle(thread);
  thread = nullptr;
  return true;
}
}  // namespace

SettingsExchange::SettingsExchange(ExchangeOptions options)
    : m_state(std::make_shared<ExchangeState>(std::move(options.callbacks), options.layout,
                                              std::move(options.firmwareVersion))) {}

SettingsExchange::~SettingsExchange() { Stop(); }

bool SettingsExchange::Start(HANDLE port) {
  if (m_hReaderThread != nullptr || m_bStopped) return false;
  if (port == nullptr || port == INVALID_HANDLE_VALUE) return false;
  if (m_state->m_hPort == nullptr) m_state->m_hPort = platform::RetainHandle(port);
  m_state->m_bReaderRun = 1;
  m_hReaderThread = StartThread(SettingReaderThreadProc, m_state);
  if (m_hReaderThread == nullptr) m_state->m_bReaderRun = 0;
  return m_hReaderThread != nullptr;
}

VersionAnswer SettingsExchange::QueryVersion() {
  VersionAnswer answer{m_state->FirmwareVersion(), m_state->Layout(), false, {}};
  if (!IsStarted() || IsBusy() || LineLost()) return answer;
  const HANDLE handles[4] = {m_state->m_hWaitArray[0], m_state->m_hWaitArray[1], m_state->m_hWaitArray[2],
                             m_state->m_hLineLostEvent};
  m_state->BeginVersionQuery();
  m_state->ClearReplies();
  if (m_state->Send(kVersionQuery)) {
    WaitForMultipleObjects(4, handles, FALSE, VERSION_WAIT_MS);
    if (!LineLost()) WaitForMultipleObjects(1, &m_state->m_hLineLostEvent, FALSE, VERSION_PAUSE_MS);
  }
  // Taken as the query ends, so that text and layout always belong together
  // and an answer that comes later changes neither.
  m_state->EndVersionQuery(answer.text, answer.layout, answer.answered);
  if (answer.answered) answer.whole = m_state->WholeVersion();
  return answer;
}

DWORD SettingsExchange::SetTextMode() {
  if (!IsStarted() || IsBusy() || LineLost()) return WAIT_FAILED;
  const HANDLE handles[4] = {m_state->m_hWaitArray[0], m_state->m_hWaitArray[1], m_state->m_hWaitArray[2],
                             m_state->m_hLineLostEvent};
  m_state->ClearReplies();
  if (!m_state->Send(kTextModeCommand)) return WAIT_FAILED;
  const DWORD result = WaitForMultipleObjects(4, handles, FALSE, TEXT_MODE_WAIT_MS);
  if (result == WAIT_OBJECT_0 + 3) return WAIT_FAILED;  // the line is gone
  RecordResult(*m_state, result);
  return result;
}

StartResult SettingsExchange::StartWorker(LPTHREAD_START_ROUTINE routine) {
  // The previous worker has announced its end; let go of its handle.
  if (m_hWorkerThread != nullptr) {
    CloseHandle(m_hWorkerThread);
    m_hWorkerThread = nullptr;
  }
  ResetEvent(m_state->m_hCancelEvent);
  m_state->m_bWorkerRunning = true;
  m_hWorkerThread = StartThread(routine, m_state);
  if (m_hWorkerThread == nullptr) {
    m_state->m_bWorkerRunning = false;
    return StartResult::NotStarted;
  }
  return StartResult::Started;
}

StartResult SettingsExchange::StartRead(const DeviceSettings& base) {
  if (!IsStarted()) return StartResult::NotStarted;
  if (IsBusy()) return StartResult::Busy;
  m_state->SetRecord(base);
  return StartWorker(GetDeviceSettingThreadProc);
}

StartResult SettingsExchange::StartWrite(const DeviceSettings& record, std::vector<SettingsProblem>* problems) {
  return StartCheckedWrite(record, nullptr, problems);
}

StartResult SettingsExchange::StartWriteTexts(const DeviceSettings& record,
                                              const std::array<std::string, MESSAGE_COUNT>& texts,
                                              std::vector<SettingsProblem>* problems) {
  return StartCheckedWrite(record, &texts, problems);
}

StartResult SettingsExchange::StartCheckedWrite(const DeviceSettings& record,
                                                const std::array<std::string, MESSAGE_COUNT>* texts,
                                                std::vector<SettingsProblem>* problems) {
  if (problems) problems->clear();
  if (!IsStarted()) return StartResult::NotStarted;
  if (IsBusy()) return StartResult::Busy;
  std::vector<SettingsProblem> found = CheckForDevice(record, m_state->Layout());
  if (!found.empty()) {
    if (problems) *problems = std::move(found);
    return StartResult::Refused;
  }
  m_state->SetRecord(record);  // forgets the texts of an earlier write
  if (texts) m_state->SetWriteTexts(*texts);
  return StartWorker(SetToDeviceThreadProc);
}

void SettingsExchange::Cancel() { SetEvent(m_state->m_hCancelEvent); }

bool SettingsExchange::WaitIdle(DWORD timeoutMs) {
  if (m_hWorkerThread == nullptr) return true;
  return AwaitThread(m_hWorkerThread, timeoutMs);
}

bool SettingsExchange::Stop() {
  m_bStopped = true;
  Cancel();
  bool ended = AwaitThread(m_hWorkerThread, READER_STOP_WAIT_MS);
  m_state->m_bReaderRun = 0;
  ended = AwaitThread(m_hReaderThread, READER_STOP_WAIT_MS) && ended;
  ended = m_state->Detach(READER_STOP_WAIT_MS) && ended;
  // A thread that outlived its bound keeps the state alive by itself.
  if (m_hWorkerThread) CloseHandle(m_hWorkerThread);
  if (m_hReaderThread) CloseHandle(m_hReaderThread);
  m_hWorkerThread = m_hReaderThread = nullptr;
  return ended;
}

bool SettingsExchange::SetLayout(SettingsLayout layout) {
  if (IsBusy()) return false;
  m_state->SetLayout(layout);
  return true;
}

}  // namespace settings
