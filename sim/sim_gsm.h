// The simulated tracker's GSM side: the firmware version answer and the GSM
// module behind the tracker, with its four-slot message store.
//
// The tracker hands every AT command it does not answer itself to its GSM
// module and passes the module's reply back as one transmission that starts
// with "GSMATResp!", followed by the module's echo of the command and its
// result lines:
//   "at+cmgf=1\r"   -> "GSMATResp!at+cmgf=1\r\r\nOK\r\n"
//   "at+cmgd=n\r"   -> "GSMATResp!at+cmgd=n\r\r\nOK\r\n"
//   "at+cmgw=+n\r"  -> "GSMATResp!at+cmgw=+n\r\r\n> ", then the body up to
//                      Ctrl-Z and its CR -> "GSMATResp!\r\n+CMGW: i\r\n\r\nOK\r\n"
//   "at+cmgr=i\r"   -> "GSMATResp!at+cmgr=i\r\r\n+CMGR: \"STO UNSENT\",\"+n\",\r\n"
//                      TEXT "\r\n\r\nOK\r\n" (TEXT ends in the CR it was stored
//                      with); an empty slot gives just the echo and "OK\r\n".
// A store command files its body in the lowest free slot under the address
// it names ("+n"), as the module does; "at+cmgr=i" and "at+cmgd=i" address
// slot i. The version query is answered by the tracker itself, without marker.
//
// Thread contract: OnCommand, InBody and OnBodyByte run on the tracker's own
// thread; Store may be called from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class SimLine;

constexpr int GSM_SLOT_COUNT = 4;
// Longest body the module takes before it gives up on a store command.
constexpr std::size_t GSM_MAX_BODY = 1024;

// Version texts: one with a Q (a firmware with the basic settings layout)
// and one without (extended layout, the default).
inline constexpr std::string_view EXTENDED_VERSION_TEXT = "F-0KV770E-V1.4(20090904)";
inline constexpr std::string_view BASIC_VERSION_TEXT = "F-0KV770Q-V1.2(20081120)";

// Commands a fault can be aimed at.
enum class GsmCommandKind { Any, Version, TextMode, Delete, Store, Read };

enum class GsmFault {
  Error,   // the command is refused with "ERROR" and has no effect
  Silent,  // the command takes effect but no reply comes back
  Late,    // the command takes effect; its reply comes `delayMs` late
};

struct GsmFaultRule {
  GsmFault fault = GsmFault::Error;
  GsmCommandKind command = GsmCommandKind::Any;
  int slot = 0;               // 1..4 (the index, or n of "+n" for a store); 0 any
  int times = 0;              // how often the rule strikes; 0 every time
  std::uint32_t delayMs = 0;  // Late only
};

struct GsmOptions {
  std::string versionText{EXTENDED_VERSION_TEXT};
  // Rules are tried in order; the first one that matches a command and has
  // strikes left decides its fault.
  std::vector<GsmFaultRule> faults;
  // The first `mismatchReads` reads of a stored message (of `mismatchSlot`,
  // 0 any slot) return a text that differs from the stored one.
  int mismatchReads = 0;
  int mismatchSlot = 0;
  // Every GSM reply is sent in two writes: the first `splitAt` bytes, a pause
  // of `splitPauseMs`, then the rest (0: one write).
  std::size_t splitAt = 0;
  std::uint32_t splitPauseMs = 300;
};

struct StoredMessage {
  bool used = false;
  std::string address;  // "+1" .. "+4" as the store command gave it
  std::string text;     // the body without its Ctrl-Z (ends in CR for the tool's texts)
};

class GsmModem {
 public:
  explicit GsmModem(const GsmOptions& options) : options_(options) {}
  // Handles one command line (ending in CR); false when it is not for the
  // GSM side.
  bool OnCommand(std::string_view line, SimLine& out);
  // True while a message body is being received (after the input prompt).
  bool InBody() const { return body_ != BodyState::None; }
  // A byte of the body: Ctrl-Z ends it (stored), ESC abandons it (not stored).
  void OnBodyByte(unsigned char byte, SimLine& out);

  // The power went: a text still being entered is lost, one whose end mark
  // came is stored (the module stores at the end mark), and nothing is said.
  void PowerLost();

  // Texts of the four slots (empty for a free slot).
  std::array<std::string, GSM_SLOT_COUNT> Store() const;
  // The version answer from now on (the tracker runs new firmware).
  void SetVersionText(std::string text);
  std::string VersionText() const;

 private:
  enum class BodyState { None, Text, EndMark };

  // The fault for this command, if a rule strikes (its count is used up).
  const GsmFaultRule* TakeFault(GsmCommandKind kind, int slot);
  // Sends a GSM reply with the marker, honouring Silent/Late and the split.
  void SendModuleReply(SimLine& out, std::string_view reply, const GsmFaultRule* fault);
  void OnVersion(SimLine& out);
  void OnDelete(std::string_view echo, int index, SimLine& out);
  void OnStoreCommand(std::string_view echo, std::string_view address, SimLine& out);
  void OnRead(std::string_view echo, int index, SimLine& out);
  void FinishBody(SimLine& out);
  // Stores the finished body in the first free slot: its index, 0 when full.
  int StoreBody();

  GsmOptions options_;
  std::vector<int> strikesUsed_ = std::vector<int>(options_.faults.size(), 0);
  int mismatchesLeft_ = options_.mismatchReads;

  BodyState body_ = BodyState::None;
  std::string bodyAddress_;
  std::string bodyText_;
  const GsmFaultRule* bodyFault_ = nullptr;

  mutable std::mutex lock_;
  std::array<StoredMessage, GSM_SLOT_COUNT> store_;
};

// Options of the GSM side by name, for kvsim's command line ("--NAME=VALUE"
// without the dashes). False when the name is not a GSM option or the value
// does not parse (IsGsmOption tells the two apart).
//   firmware=basic|extended|TEXT    version answer (basic holds a Q)
//   gsm-error=RULE                  refuse matching commands with ERROR
//   gsm-silent=RULE                 no reply to matching commands
//   gsm-late=MS[,RULE]              matching replies come MS late
//   gsm-mismatch=N[:SLOT]           first N read-backs differ
//   gsm-split=BYTES[,PAUSE_MS]      replies come in two writes
// RULE is KIND[:SLOT][/TIMES] with KIND one of any, version, textmode,
// delete, store, read.
bool IsGsmOption(std::string_view name);
bool ParseGsmOption(std::string_view name, std::string_view value, GsmOptions& options);
std::string_view GsmOptionsUsage();

}  // namespace sim
