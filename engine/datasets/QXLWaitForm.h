#pragma once
// The progress window of a long operation. An operation that passes the
// middle of its progress within its first 500 ms never shows the window;
// otherwise the window appears at the first report after those 500 ms and
// stays until Close. With one thread there is no timer: the time is checked
// through the clock seam whenever progress is reported. Thread rule: one thread.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/datasets/QXLUserInterface.h"

namespace qxl {

class TQXLWaitForm {
public:
  static constexpr std::uint32_t ShowDelayMs = 500;
  static constexpr std::int32_t MaxPercentToShow = 50;

  explicit TQXLWaitForm(TQXLUserInterface& Interface = UserInterface());
  // Hides a shown window. Raises nothing.
  ~TQXLWaitForm();
  TQXLWaitForm(const TQXLWaitForm&) = delete;
  TQXLWaitForm& operator=(const TQXLWaitForm&) = delete;

  // Starts the 500 ms; the window is not shown yet.
  void Show(const std::string& Text);
  void SetPercent(std::int32_t Percent);
  // Shows the window now, without waiting for the 500 ms; nothing once closed.
  void MakeVisible();
  // Lets a shown window handle its input.
  void ProcessMessages();
  // Abort was pressed in the shown window.
  bool Terminated();
  void Close();

  bool IsShown() const { return FIsShown; }
  bool IsClosed() const { return FIsClosed; }

private:
  // The timer's moment: shows the window when the bar stands at most half way.
  void CheckTimer();

  std::unique_ptr<TQXLProgressView> FView;
  std::string FText = "Wait...";
  std::int32_t FPercent = 0;
  std::uint32_t FStartTicks = 0;
  bool FTimerRunning = false;
  bool FIsShown = false;
  bool FIsClosed = false;
  bool FTerminated = false;
};

}  // namespace qxl
