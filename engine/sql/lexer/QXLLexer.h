#pragma once
// An SQL text cut once into commands (at ";") and tokens, before anything is
// parsed. Every SQL parser reads tokens only through the lexer's token
// cursor, one per command, which it sets back to try another reading.
// Parameter tokens carry a copy of their value taken while the text is cut.
//
// Threads: one lexer per run of a text, used by the thread that runs it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/QXLReservedWords.h"
#include "engine/core/values/QXLVariant.h"
#include "engine/sql/lexer/QXLSQLParams.h"

namespace qxl {

enum TTokenType : std::uint8_t {
  tktNone = 0,
  tktString = 1,  // a word, also an operator symbol such as "*", "<>", "||"
  tktQuotedString = 2,
  tktBracketedString = 3,
  tktInt = 4,
  tktFloat = 5,
  tktReservedWord = 6,
  tktParameter = 7,
  tktLeftParenthesis = 8,
  tktRightParenthesis = 9,
  tktComma = 10,
  tktDot = 11,
};

// A set of token kinds: bit n for kind n.
using TTokenTypes = std::uint16_t;
constexpr TTokenTypes TokenTypeBit(TTokenType Type) { return static_cast<TTokenTypes>(1u << Type); }

struct TToken {
  TTokenType TokenType = tktNone;
  TReservedWord ReservedWord = rwNone;
  // Quoted kinds: the text inside, doubled delimiters folded; a named
  // parameter: its name; a positional one: "Param" and its 1-based number.
  std::string Text;
  // Parameter tokens only: the value copied at cutting time, owned by the
  // lexer that made the token and valid while that lexer lives.
  const TQXLVariant* ParamValue = nullptr;
  std::int32_t LineNum = 0;
  std::int32_t ColumnNum = 0;
};

struct TSQLCommand {
  std::vector<TToken> Tokens;
  std::int32_t CurrentTokenNo = 0;
  std::int32_t NumTokens() const { return static_cast<std::int32_t>(Tokens.size()); }
};

// The kind's name, "tktNone" to "tktDot".
const char* TokenTypeName(TTokenType Type);

// True when Token is a keyword and is ReservedWord; rwNone asks for any keyword.
bool IsReservedWord(const TToken& Token, TReservedWord ReservedWord);

class TQXLLexer {
public:
  // Cuts SQLScript; errors of the text propagate. SQLParams is not owned and
  // may be nullptr; with NoParams ":" and "?" words stay plain words.
  TQXLLexer(std::string SQLScript, const TQXLSQLParams* SQLParams, bool NoParams);
  TQXLLexer(const TQXLLexer&) = delete;
  TQXLLexer& operator=(const TQXLLexer&) = delete;

  std::int32_t NumCommands() const { return static_cast<std::int32_t>(FCommands.size()); }
  std::int32_t CurrentCommandNo() const { return FCurrentCommandNo; }
  const TSQLCommand& Command(std::int32_t CommandNo) const { return FCommands.at(static_cast<std::size_t>(CommandNo)); }

  // Moves to the next command; true while there is one.
  bool GetNextCommand();
  // Makes command CommandNo current (-1 to NumCommands()), its own token
  // cursor unchanged; a parser returns to text it read before this way.
  void SetCurrentCommandNo(std::int32_t CommandNo);
  // The token under the cursor; at or past the end only its kind is set
  // (tktNone) and the result is false.
  bool GetCurrentToken(TToken& Token) const;
  // The token after the cursor, without moving; at the end a token of kind
  // tktNone with no text and false.
  bool LookNextToken(TToken& Token) const;
  // LookNextToken, then the cursor moves one on in every case.
  bool GetNextToken(TToken& Token);
  std::int32_t GetCurrentTokenNo() const;
  // Sets the cursor, then GetCurrentToken.
  bool SetCurrentTokenNo(std::int32_t TokenNo, TToken& Token);
  // Sets the cursor; true when a token is under it.
  bool SetCurrentTokenNo(std::int32_t TokenNo);
  // Moves on until a token of a kind in TokenTypes is under the cursor;
  // false at the end.
  bool GetNextSpecifiedToken(TToken& Token, TTokenTypes TokenTypes);

  // Build a token stream by hand: a new empty command made current, and a
  // copy of Token (its parameter value copied too) appended to it, the
  // cursor on the new token.
  void AddCommand();
  void AddToken(const TToken& Token);

  // A listing of the commands and tokens, lines ended by CR LF; with
  // ShowDetails each token's kind, keyword and position as well.
  std::string Test(bool Generate, bool ShowDetails) const;

private:
  TSQLCommand* CurrentCommand();
  const TSQLCommand* CurrentCommand() const;
  const TQXLVariant* KeepParamValue(const TQXLVariant& Value);

  std::string FSQL;
  const TQXLSQLParams* FSQLParams;
  bool FNoParams;
  std::vector<TSQLCommand> FCommands;
  std::int32_t FCurrentCommandNo = -1;
  // The parameter values the tokens point at.
  std::vector<std::unique_ptr<TQXLVariant>> FParamValues;

  friend class TQXLTokenizer;
};

}  // namespace qxl
