#include "engine/datasets/QXLUserInterface.h"

namespace qxl {

namespace {

class TSilentProgressView : public TQXLProgressView {
public:
  void ShowWindow(const std::string&, std::int32_t) override {}
  void SetPercent(std::int32_t) override {}
  void ProcessMessages() override {}
  bool AbortPressed() override { return false; }
  void HideWindow() override {}
};

TQXLUserInterface* Installed = nullptr;

}  // namespace

std::unique_ptr<TQXLProgressView> TQXLSilentUserInterface::CreateProgressView() {
  return std::make_unique<TSilentProgressView>();
}

TQXLUserInterface& UserInterface() {
  static TQXLSilentUserInterface silent;
  return Installed ? *Installed : silent;
}

TQXLUserInterface* SetUserInterface(TQXLUserInterface* Interface) {
  TQXLUserInterface* previous = Installed;
  Installed = Interface;
  return previous;
}

}  // namespace qxl
