#pragma once
// The base of every SQL statement: made from the lexer by the statement's
// first words, it parses itself as it is made (Make), then ExecSQL runs it
// and counts the rows it affected; query statements also give a result
// dataset and cursor. The parsing steps that all statements share live here:
// token reading with positioned errors, aliases, table names, name and
// column lists, and the binding of a table named in SQL text to a table
// component with a database component of its own.
//
// Threads: a statement belongs to the processor that runs it and is used by
// the thread that runs the text.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/sql/lexer/QXLLexer.h"
#include "engine/sql/nodes/QXLSelectListItem.h"

namespace qxl {

class TQXLAO;
class TQXLCursor;
class TQXLDataSet;
class TQXLDatabase;
class TQXLTable;

// A table as SQL text names it: [MEMORY] [database "."] table [alias] [PASSWORD 'p'].
struct TQXLTableNameParts {
  std::string DatabaseName;
  std::string TableName;
  bool InMemory = false;
  std::string Password;
  std::string Alias;
};

class TQXLSQLCommand {
public:
  virtual ~TQXLSQLCommand();
  TQXLSQLCommand(const TQXLSQLCommand&) = delete;
  TQXLSQLCommand& operator=(const TQXLSQLCommand&) = delete;

  // Makes a statement of class T on the lexer's current command and token
  // and parses it; a parse error propagates and leaves nothing behind.
  template <typename T, typename... TArgs>
  static std::unique_ptr<T> Make(TQXLLexer& Lexer, TQXLDataSet* Query, TArgs&&... Args) {
    std::unique_ptr<T> Statement(new T(Lexer, Query, std::forward<TArgs>(Args)...));
    static_cast<TQXLSQLCommand&>(*Statement).Parse();
    return Statement;
  }

  // Runs the parsed statement for Query. ReadOnly is set by a root query
  // statement (whether its result can be edited); ParentQueryAO and
  // ParentCursor are the outer query's operator and cursor of a subquery.
  virtual void ExecSQL(TQXLDataSet* Query, bool IsRoot, bool RequestLive, bool& ReadOnly, TQXLAO* ParentQueryAO,
                       TQXLCursor* ParentCursor) = 0;
  // The result of the last ExecSQL of a query statement; nullptr for the others.
  virtual TQXLCursor* GetResultCursor() { return nullptr; }
  virtual TQXLDataSet* GetResultDataset() { return nullptr; }

  std::int32_t RowsAffected = 0;
  bool IntoMemory = false;

  TQXLLexer& Lexer() const { return *LLex; }
  TQXLDataSet* Query() const { return LQuery; }

  // Binds table TableName of the database file DatabaseFileName (the
  // query's own database when empty) to a new table component and a new
  // database component with a generated name; nothing is opened.
  static void OpenExternalTable(TQXLDataSet* Query, const std::string& DatabaseFileName, const std::string& TableName,
                                const std::string& Password, bool InMemory, std::unique_ptr<TQXLTable>& Table,
                                std::unique_ptr<TQXLDatabase>& Database);
  // The table first, then its database component.
  static void FreeExternalTable(std::unique_ptr<TQXLTable>& Table, std::unique_ptr<TQXLDatabase>& Database);

  // Token kind sets the statements pass to ExpectNextToken.
  static constexpr TTokenTypes NameKinds = TokenTypeBit(tktString) | TokenTypeBit(tktQuotedString) |
                                           TokenTypeBit(tktBracketedString);
  static constexpr TTokenTypes NameOrKeywordKinds = NameKinds | TokenTypeBit(tktReservedWord);
  static constexpr TTokenTypes TableNameKinds = NameOrKeywordKinds | TokenTypeBit(tktParameter);

protected:
  // Stores the lexer and the query; Make parses.
  TQXLSQLCommand(TQXLLexer& Lexer, TQXLDataSet* Query);

  virtual void Parse() = 0;

  // Reads the token under the cursor into Token; false at the end.
  bool CurrentToken();
  // Moves one on and reads; false at the end.
  bool NextToken();
  // Moves one on and reads. At the end: 30161 at the last token read,
  // unless ErrorCode is -1 (then false). A token whose kind is not in
  // TokenTypes (a non-empty set): ErrorCode with ErrorMessage, formatted
  // with the token's text, line and column.
  bool ExpectNextToken(TTokenTypes TokenTypes, std::int32_t ErrorCode, const char* ErrorMessage);

  // Whether Token is one of the kinds.
  bool TokenIs(TTokenTypes Kinds) const { return (TokenTypeBit(Token.TokenType) & Kinds) != 0; }
  bool TokenIsKeyword(TReservedWord Word) const { return IsReservedWord(Token, Word); }
  // A word that is a name, not an operator symbol.
  static bool IsNameWord(const TToken& Token);
  // Raise Code with Message about Token: its text, line and column.
  [[noreturn]] static void RaiseAtToken(std::int32_t Code, const char* Message, const TToken& At);
  // Raise Code with Message naming only the line and column of At.
  [[noreturn]] static void RaiseAtPosition(std::int32_t Code, const char* Message, const TToken& At);
  // Raise Code with Message naming an expected text and the token found.
  [[noreturn]] static void RaiseExpected(std::int32_t Code, const std::string& Expected, const TToken& At);

  // The name a token gives: its text, or a parameter's value as text. A
  // parameter value must form exactly one name (an unquoted text without
  // double quotes, or one whole double-quoted or bracketed name), else Code
  // with Message about the token.
  static std::string NameOf(const TToken& Token, std::int32_t Code, const char* Message);
  // A parameter's value as text, "" without one.
  static std::string ParameterText(const TToken& Token);

  // An optional alias: AS name, or a name directly (not a quoted string).
  bool CheckPseudonym(std::string& Pseudonym);
  // Names separated by ",".
  void ParseFieldNameList(std::vector<std::string>& List);
  // Plain column references separated by ","; each appended as a column item.
  void ParseFieldList(std::vector<TQXLSelectListItem>& Fields);
  // [MEMORY] [database "."] table [alias] [PASSWORD password]; the cursor
  // ends on the first token after it.
  TQXLTableNameParts ParseTableName();

  TQXLLexer* LLex;
  TToken Token;
  TQXLDataSet* LQuery;
};

}  // namespace qxl
