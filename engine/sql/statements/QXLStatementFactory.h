#pragma once
// Which statement class runs a command, chosen by the processor from the
// command's first words. Each statement kind is made by one line of
// CreateStatement; a kind whose class is not part of the engine yet is
// refused with a clear error.
//
// Threads: no state; called by the thread that runs the text.
#include <cstdint>
#include <memory>

#include "engine/sql/lexer/QXLLexer.h"

namespace qxl {

class TQXLDataSet;
class TQXLSQLCommand;

enum class TQXLStatementKind : std::uint8_t {
  Query,  // SELECT or "(": a whole query expression
  Insert,
  Update,
  Delete,
  CreateTable,
  CreateIndex,
  DropTable,
  DropIndex,
  AlterTable,
  RenameTable,
  TruncateTable,
  StartTransaction,
  Commit,
  Rollback,
};

// Makes and parses the statement of Kind on the lexer's current token (the
// token its parse starts at). FirstWord is the command's first token, named
// in the error for a kind that has no class yet.
std::unique_ptr<TQXLSQLCommand> CreateStatement(TQXLStatementKind Kind, TQXLLexer& Lexer, TQXLDataSet* Query,
                                                const TToken& FirstWord);

}  // namespace qxl
