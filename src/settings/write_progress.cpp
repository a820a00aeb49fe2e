#include "settings/write_progress.h"

#include <cstdio>
#include <vector>

namespace {
// The message number of "PREFIX n", or 0.
unsigned NumberAfter(const std::string& text, const char* prefix) {
  const std::string p = prefix;
  if (text.size() != p.size() + 1 || text.compare(0, p.size(), p) != 0) return 0;
  const char digit = text.back();
  return digit >= '1' && digit <= '4' ? static_cast<unsigned>(digit - '0') : 0;
}
}  // namespace

void WriteProgress::OnStatus(const std::string& text) {
  if (const unsigned n = NumberAfter(text, settings::DELETE_MESSAGE_STATUS)) {
    states_[n - 1] = State::Deleted;
  } else if (const unsigned n = NumberAfter(text, settings::SETTING_MESSAGE_STATUS)) {
    // The store command follows at once; once it is out, the text and its
    // end mark always follow too, also when the write is cancelled.
    states_[n - 1] = State::Rewritten;
    inText_ = true;
    storing_ = n;
    checking_ = 0;
  } else if (const unsigned n = NumberAfter(text, settings::READ_MESSAGE_STATUS)) {
    checking_ = n;
  }
}

void WriteProgress::OnResult(BYTE result) {
  if (inText_) {
    inText_ = false;  // the store command's reply
    // A refused store command leaves the message deleted: the module took no text.
    if (result == settings::RESULT_ERROR && storing_ != 0) states_[storing_ - 1] = State::Deleted;
    return;
  }
  if (checking_ == 0) return;
  if (result == settings::RESULT_OK) states_[checking_ - 1] = State::Checked;
  // A read-back that differs is deleted at once and written again.
  if (result == settings::RESULT_MISMATCH) states_[checking_ - 1] = State::Deleted;
  checking_ = 0;
}

void WriteProgress::OnLineLost() {
  if (inText_ && storing_ != 0) states_[storing_ - 1] = State::Deleted;
  inText_ = false;
}

bool WriteProgress::Changed() const {
  for (const State s : states_)
    if (s != State::Untouched) return true;
  return false;
}

bool WriteProgress::Unfinished() const {
  for (const State s : states_)
    if (s == State::Deleted || s == State::Rewritten) return true;
  return false;
}

std::string WriteProgress::Describe() const {
  if (!Changed()) return "nothing was deleted or written on the tracker";
  struct Group {
    State state;
    const char* words;
  };
  static constexpr Group kGroups[] = {
      {State::Deleted, "deleted and not yet rewritten"},
      {State::Rewritten, "rewritten but not checked"},
      {State::Checked, "rewritten and checked"},
      {State::Untouched, "not changed"},
  };
  std::string text;
  for (const Group& g : kGroups) {
    std::vector<unsigned> numbers;
    for (unsigned n = 1; n <= states_.size(); ++n)
      if (states_[n - 1] == g.state) numbers.push_back(n);
    if (numbers.empty()) continue;
    if (!text.empty()) text += "; ";
    text += MessageNumbersText(numbers) + " " + g.words;
  }
  return text;
}

std::string MessageNumbersText(const std::vector<unsigned>& numbers) {
  std::string text = numbers.size() == 1 ? "message " : "messages ";
  for (std::size_t i = 0; i < numbers.size(); ++i) text += (i ? ", " : "") + std::to_string(numbers[i]);
  return text;
}
