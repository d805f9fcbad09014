#pragma once
// A user-interface double: answers questions and password requests from a
// script the test writes, and records everything it was asked and shown, in
// order, as text lines. A question or password request beyond the script is
// a test failure (and answered no / cancel).
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/datasets/QXLUserInterface.h"

namespace qxl {

class ScriptedUserInterface : public qxl::TQXLUserInterface {
public:
  // Installs the double for its lifetime.
  ScriptedUserInterface() : FPrevious(qxl::SetUserInterface(this)) {}
  ~ScriptedUserInterface() override { qxl::SetUserInterface(FPrevious); }

  bool Confirm(const std::string& Text) override {
    Log.push_back("confirm " + Text);
    if (Answers.empty()) {
      ADD_FAILURE() << "unscripted question: " << Text;
      return false;
    }
    bool yes = Answers.front();
    Answers.pop_front();
    return yes;
  }
  void Inform(const std::string& Text) override { Log.push_back("inform " + Text); }
  void Warn(const std::string& Text) override { Log.push_back("warn " + Text); }
  bool AskPassword(const std::string& Text, std::string& Password) override {
    Log.push_back("password " + Text);
    if (Passwords.empty()) {
      ADD_FAILURE() << "unscripted password request: " << Text;
      return false;
    }
    std::optional<std::string> typed = Passwords.front();
    Passwords.pop_front();
    if (!typed) return false;
    Password = *typed;
    return true;
  }
  std::unique_ptr<qxl::TQXLProgressView> CreateProgressView() override {
    return std::make_unique<View>(*this);
  }

  // The answers to Confirm, in order.
  std::deque<bool> Answers;
  // The passwords typed, in order; an empty optional is a cancel.
  std::deque<std::optional<std::string>> Passwords;
  // The progress windows' abort button reads pressed once this is set.
  bool AbortPressed = false;
  std::vector<std::string> Log;

private:
  class View : public qxl::TQXLProgressView {
  public:
    explicit View(ScriptedUserInterface& Owner) : FOwner(Owner) {}
    void ShowWindow(const std::string& Text, std::int32_t Percent) override {
      FOwner.Log.push_back("show " + Text + " " + std::to_string(Percent));
    }
    void SetPercent(std::int32_t Percent) override { FOwner.Log.push_back("percent " + std::to_string(Percent)); }
    void ProcessMessages() override { FOwner.Log.push_back("pump"); }
    bool AbortPressed() override { return FOwner.AbortPressed; }
    void HideWindow() override { FOwner.Log.push_back("hide"); }

  private:
    ScriptedUserInterface& FOwner;
  };

  qxl::TQXLUserInterface* FPrevious;
};

}  // namespace qxl
