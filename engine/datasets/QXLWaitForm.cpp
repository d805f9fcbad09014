#include "engine/datasets/QXLWaitForm.h"

#include "platform/Clock.h"

namespace qxl {

TQXLWaitForm::TQXLWaitForm(TQXLUserInterface& Interface) : FView(Interface.CreateProgressView()) {}

TQXLWaitForm::~TQXLWaitForm() {
  try {
    if (FIsShown) FView->HideWindow();
  } catch (...) {
    // A window that fails to hide at destruction cannot be reported.
  }
}

void TQXLWaitForm::Show(const std::string& Text) {
  FText = Text;
  FTerminated = false;
  FIsShown = false;
  FIsClosed = false;
  FStartTicks = platform::GetTickCount();
  FTimerRunning = true;
}

void TQXLWaitForm::CheckTimer() {
  if (!FTimerRunning || platform::GetTickCount() - FStartTicks < ShowDelayMs) return;
  FTimerRunning = false;
  if (FIsClosed || FPercent > MaxPercentToShow) return;
  FView->ShowWindow(FText, FPercent);
  FIsShown = true;
}

void TQXLWaitForm::SetPercent(std::int32_t Percent) {
  // The bar stood at its old value when the time ran out.
  CheckTimer();
  FPercent = Percent;
  if (FIsShown) FView->SetPercent(Percent);
}

void TQXLWaitForm::MakeVisible() {
  if (FIsShown || FIsClosed) return;
  FTimerRunning = false;
  FView->ShowWindow(FText, FPercent);
  FIsShown = true;
}

void TQXLWaitForm::ProcessMessages() {
  CheckTimer();
  if (FIsShown) FView->ProcessMessages();
}

bool TQXLWaitForm::Terminated() {
  if (FIsShown && !FTerminated) FTerminated = FView->AbortPressed();
  return FTerminated;
}

void TQXLWaitForm::Close() {
  FTimerRunning = false;
  if (FIsShown) FView->HideWindow();
  FIsShown = false;
  FIsClosed = true;
}

}  // namespace qxl
