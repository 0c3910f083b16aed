#pragma once
// Busy marks kept in memory for window tests: topics compare without letter case, and a
// test can hold a topic "in another copy" or make the marks unusable.
#include <set>
#include <string>

#include "platform/busy_marks.h"

namespace rk5::test {

class ScratchMarks : public platform::BusyMarks {
 public:
  bool unavailable = false;

  bool RegisterService(const std::string&) override { return !unavailable; }
  Hold TryHold(const std::string& service, const std::string& topic) override {
    if (unavailable) return {};
    const std::string key = Key(service, topic);
    if (held_.count(key)) return {Outcome::HeldElsewhere, nullptr};
    held_.insert(key);
    return {Outcome::Taken, std::make_unique<Mark>(held_, key)};
  }
  bool IsHeld(const std::string& service, const std::string& topic) override {
    return held_.count(Key(service, topic)) != 0;
  }
  // Held by a copy that is not under test, until Release.
  void HoldElsewhere(const std::string& service, const std::string& topic) {
    held_.insert(Key(service, topic));
  }

 private:
  class Mark : public platform::BusyMark {
   public:
    Mark(std::set<std::string>& held, std::string key) : held_(held), key_(std::move(key)) {}
    ~Mark() override {
      if (!kept_) held_.erase(key_);
    }
    void KeepUntilExit() override { kept_ = true; }

   private:
    std::set<std::string>& held_;
    std::string key_;
    bool kept_ = false;
  };
  static std::string Key(const std::string& service, const std::string& topic) {
    std::string key = service + '\n' + topic;
    for (char& c : key) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
  }
  std::set<std::string> held_;
};

}  // namespace rk5::test
