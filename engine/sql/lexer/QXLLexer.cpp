#include "engine/sql/lexer/QXLLexer.h"

#include <algorithm>

namespace qxl {

void RunTokenizer(TQXLLexer& Lexer);

const char* TokenTypeName(TTokenType Type) {
  static const char* const Names[] = {"tktNone",         "tktString",           "tktQuotedString", "tktBracketedString",
                                      "tktInt",          "tktFloat",            "tktReservedWord", "tktParameter",
                                      "tktLeftParenthesis", "tktRightParenthesis", "tktComma",     "tktDot"};
  return Type <= tktDot ? Names[Type] : "tktNone";
}

bool IsReservedWord(const TToken& Token, TReservedWord ReservedWord) {
  if (Token.TokenType != tktReservedWord) return false;
  return ReservedWord == rwNone ? Token.ReservedWord != rwNone : Token.ReservedWord == ReservedWord;
}

TQXLLexer::TQXLLexer(std::string SQLScript, const TQXLSQLParams* SQLParams, bool NoParams)
    : FSQL(std::move(SQLScript)), FSQLParams(SQLParams), FNoParams(NoParams) {
  RunTokenizer(*this);
  FCurrentCommandNo = -1;
  for (TSQLCommand& Command : FCommands) Command.CurrentTokenNo = 0;
}

TSQLCommand* TQXLLexer::CurrentCommand() {
  if (FCurrentCommandNo < 0 || FCurrentCommandNo >= NumCommands()) return nullptr;
  return &FCommands[static_cast<std::size_t>(FCurrentCommandNo)];
}

const TSQLCommand* TQXLLexer::CurrentCommand() const {
  return const_cast<TQXLLexer*>(this)->CurrentCommand();
}

const TQXLVariant* TQXLLexer::KeepParamValue(const TQXLVariant& Value) {
  auto Copy = std::make_unique<TQXLVariant>();
  Copy->Assign(Value, true);
  FParamValues.push_back(std::move(Copy));
  return FParamValues.back().get();
}

bool TQXLLexer::GetNextCommand() {
  if (FCurrentCommandNo < NumCommands()) ++FCurrentCommandNo;
  return FCurrentCommandNo < NumCommands();
}

void TQXLLexer::SetCurrentCommandNo(std::int32_t CommandNo) {
  FCurrentCommandNo = std::clamp(CommandNo, -1, NumCommands());
}

bool TQXLLexer::GetCurrentToken(TToken& Token) const {
  const TSQLCommand* Command = CurrentCommand();
  if (!Command || Command->CurrentTokenNo < 0 || Command->CurrentTokenNo >= Command->NumTokens()) {
    Token.TokenType = tktNone;
    return false;
  }
  Token = Command->Tokens[static_cast<std::size_t>(Command->CurrentTokenNo)];
  return true;
}

bool TQXLLexer::LookNextToken(TToken& Token) const {
  const TSQLCommand* Command = CurrentCommand();
  const std::int32_t Next = Command ? Command->CurrentTokenNo + 1 : 0;
  if (!Command || Next < 0 || Next >= Command->NumTokens()) {
    Token.TokenType = tktNone;
    Token.Text.clear();
    return false;
  }
  Token = Command->Tokens[static_cast<std::size_t>(Next)];
  return true;
}

bool TQXLLexer::GetNextToken(TToken& Token) {
  const bool Found = LookNextToken(Token);
  if (TSQLCommand* Command = CurrentCommand()) ++Command->CurrentTokenNo;
  return Found;
}

std::int32_t TQXLLexer::GetCurrentTokenNo() const {
  const TSQLCommand* Command = CurrentCommand();
  return Command ? Command->CurrentTokenNo : 0;
}

bool TQXLLexer::SetCurrentTokenNo(std::int32_t TokenNo, TToken& Token) {
  SetCurrentTokenNo(TokenNo);
  return GetCurrentToken(Token);
}

bool TQXLLexer::SetCurrentTokenNo(std::int32_t TokenNo) {
  TSQLCommand* Command = CurrentCommand();
  if (!Command) return false;
  Command->CurrentTokenNo = TokenNo;
  return TokenNo >= 0 && TokenNo < Command->NumTokens();
}

bool TQXLLexer::GetNextSpecifiedToken(TToken& Token, TTokenTypes TokenTypes) {
  while (GetNextToken(Token))
    if (TokenTypes & TokenTypeBit(Token.TokenType)) return true;
  return false;
}

void TQXLLexer::AddCommand() {
  FCommands.emplace_back();
  FCurrentCommandNo = NumCommands() - 1;
}

void TQXLLexer::AddToken(const TToken& Token) {
  if (!CurrentCommand()) AddCommand();
  TSQLCommand& Command = *CurrentCommand();
  TToken Copy = Token;
  if (Token.ParamValue) Copy.ParamValue = KeepParamValue(*Token.ParamValue);
  Command.Tokens.push_back(std::move(Copy));
  Command.CurrentTokenNo = Command.NumTokens() - 1;
}

std::string TQXLLexer::Test(bool /*Generate*/, bool ShowDetails) const {
  static const char* const CRLF = "\r\n";
  std::string Out = "Number of commands: " + std::to_string(NumCommands());
  for (std::int32_t c = 0; c < NumCommands(); ++c) {
    Out += CRLF;
    Out += "Command #" + std::to_string(c + 1) + ":" + CRLF;
    for (const TToken& Token : FCommands[static_cast<std::size_t>(c)].Tokens) {
      Out += Token.Text + CRLF;
      if (!ShowDetails) continue;
      Out += std::string("Type = ") + TokenTypeName(Token.TokenType) + CRLF;
      if (Token.ReservedWord == rwNone)
        Out += std::string("ReservedWord = None") + CRLF;
      else
        Out += "ReservedWord = " + std::string(ReservedWordNames[Token.ReservedWord]) + CRLF;
      Out += "Line = " + std::to_string(Token.LineNum) + CRLF;
      Out += "Column = " + std::to_string(Token.ColumnNum) + CRLF;
      Out += CRLF;
    }
  }
  return Out;
}

}  // namespace qxl
