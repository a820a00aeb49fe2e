// What a settings write has done to each of the tracker's four messages so
// far, followed from the write's own status lines and results, so that a
// write that was stopped can say what state it left the tracker in.
//
// Thread contract: none of its own; the owner serialises the calls (kvctl's
// SettingsSession holds a lock, the Device Setting dialog calls it on the GUI
// thread only).
#pragma once

#include <array>
#include <string>
#include <vector>

#include "settings/settings_exchange_state.h"

class WriteProgress {
 public:
  enum class State { Untouched, Deleted, Rewritten, Checked };

  // A status line of the write ("delete message 2", "setting message 2",
  // "read message 2", a verdict).
  void OnStatus(const std::string& text);
  // A recorded reply result (RESULT_OK ... RESULT_TIMEOUT).
  void OnResult(BYTE result);
  // The line went away: a message whose text was under way may never have
  // reached the tracker, so it counts as deleted and not rewritten.
  void OnLineLost();

  State Of(unsigned message) const { return states_[message - 1]; }
  // True while the tracker may be taking in a message text (from the store
  // command until its reply).
  bool InText() const { return inText_; }
  bool Changed() const;
  // True when a message is deleted, or rewritten but not checked: the
  // tracker may lack settings until the write is done again.
  bool Unfinished() const;

  // e.g. "messages 3, 4 deleted and not yet rewritten; message 2 rewritten
  // but not checked; message 1 rewritten and checked".
  std::string Describe() const;

 private:
  std::array<State, settings::MESSAGE_COUNT> states_{};
  unsigned checking_ = 0;  // the message whose read-back is awaited
  unsigned storing_ = 0;   // the message whose store command went out last
  bool inText_ = false;
};

// "message 2" or "messages 2, 3, 4": message numbers as the boxes and
// kvctl name them.
std::string MessageNumbersText(const std::vector<unsigned>& numbers);
