#pragma once
// What the engine asks of a person: a yes/no question, a notice, a warning,
// a password, and a progress window with an abort button. The programs plug
// their windows in; without them the engine answers as a silent database
// does. Thread rule: one thread, the one that runs the engine's components.
#include <cstdint>
#include <memory>
#include <string>

namespace qxl {

// The window of a long operation as the toolkit shows it.
class TQXLProgressView {
public:
  virtual ~TQXLProgressView() = default;
  virtual void ShowWindow(const std::string& Text, std::int32_t Percent) = 0;
  virtual void SetPercent(std::int32_t Percent) = 0;
  // Lets the toolkit handle pending input (the abort button among it).
  virtual void ProcessMessages() = 0;
  virtual bool AbortPressed() = 0;
  virtual void HideWindow() = 0;
};

class TQXLUserInterface {
public:
  virtual ~TQXLUserInterface() = default;
  // True for yes.
  virtual bool Confirm(const std::string& Text) = 0;
  virtual void Inform(const std::string& Text) = 0;
  virtual void Warn(const std::string& Text) = 0;
  // True for OK, with Password holding what was typed; false for cancel,
  // Password unchanged. Text names what the password is for.
  virtual bool AskPassword(const std::string& Text, std::string& Password) = 0;
  // A window for one long operation; it stays hidden until TQXLWaitForm shows it.
  virtual std::unique_ptr<TQXLProgressView> CreateProgressView() = 0;
};

// The answers of a silent database: no to every question, cancel to the
// password, notices unseen, a progress window that never shows and is never aborted.
class TQXLSilentUserInterface : public TQXLUserInterface {
public:
  bool Confirm(const std::string&) override { return false; }
  void Inform(const std::string&) override {}
  void Warn(const std::string&) override {}
  bool AskPassword(const std::string&, std::string&) override { return false; }
  std::unique_ptr<TQXLProgressView> CreateProgressView() override;
};

// The interface in use; the silent one unless one was installed.
TQXLUserInterface& UserInterface();
// Installs Interface (nullptr: the silent one) and returns the previous one.
TQXLUserInterface* SetUserInterface(TQXLUserInterface* Interface);

}  // namespace qxl
