#include "engine/datasets/components/QXLPasswordDialog.h"

#include "engine/datasets/QXLUserInterface.h"
#include "engine/datasets/components/QXLDatabase.h"

namespace qxl {

bool ShowDatabasePasswordDialog(TQXLDatabase& Database, const std::string& Text) {
  std::string Typed;
  if (!UserInterface().AskPassword(Text, Typed)) return false;
  Database.Password = Typed;
  return true;
}

}  // namespace qxl
