// The one pass that cuts an SQL text into commands and tokens.
#include <cstring>

#include "engine/core/QXLException.h"
#include "engine/sql/lexer/QXLLexer.h"

namespace qxl {

namespace {
bool IsWhite(char Ch) { return Ch == '\t' || Ch == '\r' || Ch == '\n' || Ch == ' '; }
bool IsDigit(char Ch) { return Ch >= '0' && Ch <= '9'; }
bool IsNumber(TTokenType Type) { return Type == tktInt || Type == tktFloat; }
// A byte that continues a UTF-8 sequence is no character of its own.
bool IsContinuationByte(char Ch) { return (static_cast<unsigned char>(Ch) & 0xC0) == 0x80; }
}  // namespace

class TQXLTokenizer {
public:
  explicit TQXLTokenizer(TQXLLexer& Lexer) : L(Lexer), S(Lexer.FSQL) {}

  void Run() {
    while (Pos < S.size()) {
      const char Ch = S[Pos];
      if (Ch == ';') {
        FinishToken();
        EndCommand();
        Advance();
        continue;
      }
      if (Ch == '-' && Next() == '-') {
        // A comment ends the token before it.
        FinishToken();
        while (Pos < S.size() && S[Pos] != '\n') Advance();
        if (Pos < S.size()) Advance();
        continue;
      }
      if (Ch == '/' && Next() == '*') {
        FinishToken();
        Advance();
        Advance();
        while (Pos < S.size() && !(S[Pos] == '*' && Next() == '/')) Advance();
        if (Pos < S.size()) {
          Advance();
          Advance();
        }
        continue;
      }
      const bool White = IsWhite(Ch);
      bool Starts = false;
      if (!TokenOpen) {
        Starts = !White;
      } else if (!White) {
        Starts = BreaksOpenToken(Ch);
      }
      if (TokenOpen && (White || Starts)) FinishToken();
      if (Starts) {
        StartToken();
        continue;  // StartToken consumed what it took
      }
      if (TokenOpen && !White) {
        if (Tok.TokenType == tktDot) Tok.TokenType = tktInt;  // ".5"
        if (IsNumber(Tok.TokenType)) CheckNumberCharacter(Ch);
        AppendCharacter();
        continue;
      }
      Advance();
    }
    FinishToken();
    EndCommand();
  }

private:
  char Next() const { return Pos + 1 < S.size() ? S[Pos + 1] : '\0'; }

  // Moves past one byte, counting lines and columns: LF starts a line, CR
  // counts nothing, every other character one column.
  void Advance() {
    const char Ch = S[Pos++];
    if (Ch == '\n') {
      ++Line;
      Column = 1;
    } else if (Ch != '\r' && !IsContinuationByte(Ch)) {
      ++Column;
    }
    Previous = Ch;
  }

  // The whole character at Pos (all bytes of a UTF-8 sequence).
  std::size_t CharacterLength() const {
    std::size_t N = 1;
    while (Pos + N < S.size() && IsContinuationByte(S[Pos + N])) ++N;
    return N;
  }

  void AppendCharacter() {
    const std::size_t N = CharacterLength();
    Tok.Text.append(S, Pos, N);
    for (std::size_t i = 0; i < N; ++i) Advance();
  }

  bool BreaksOpenToken(char Ch) const {
    if (std::strchr("><=(),/*:?|", Ch)) return true;
    if (Tok.TokenType == tktDot) return !IsDigit(Ch);
    if (Ch == '.') return !IsNumber(Tok.TokenType);
    if (Ch == '+' || Ch == '-') {
      if (IsNumber(Tok.TokenType)) return Previous != 'E' && Previous != 'e';
      return true;
    }
    return false;
  }

  void CheckNumberCharacter(char Ch) const {
    if (IsDigit(Ch) || Ch == '.' || Ch == 'E' || Ch == 'e') return;
    if ((Ch == '+' || Ch == '-') && (Previous == 'E' || Previous == 'e')) return;
    throw EQXLException(30062, "Invalid numeric symbol '%s' at line %d, column %d",
                        {S.substr(Pos, CharacterLength()), Line, Column});
  }

  void OpenCommand() {
    if (CommandOpen) return;
    L.FCommands.emplace_back();
    CommandOpen = true;
    Depth = 0;
    OpenLine = OpenColumn = CloseLine = CloseColumn = 0;
  }

  void StartToken() {
    OpenCommand();
    const char Ch = S[Pos];
    Tok = TToken();
    Tok.LineNum = Line;
    Tok.ColumnNum = Column;
    TokenOpen = true;
    const char After = Next();
    if (Ch == '\'' || Ch == '"' || Ch == '`' || Ch == '[') {
      ReadQuoted(Ch, Ch == '[' ? ']' : Ch, Ch == '[' ? tktBracketedString : Ch == '`' ? tktString : tktQuotedString);
      return;
    }
    if (Ch == ':' && (After == '"' || After == '\'' || After == '[')) {
      Tok.Text.assign(1, ':');
      Advance();
      ReadQuoted(After, After == '[' ? ']' : After, tktString);
      return;
    }
    Tok.Text.assign(1, Ch);
    switch (Ch) {
      case '(':
        Tok.TokenType = tktLeftParenthesis;
        ++Depth;
        OpenLine = Line;
        OpenColumn = Column;
        Advance();
        FinishToken();
        return;
      case ')':
        Tok.TokenType = tktRightParenthesis;
        --Depth;
        CloseLine = Line;
        CloseColumn = Column;
        Advance();
        FinishToken();
        return;
      case '.':
        Tok.TokenType = tktDot;
        Advance();
        return;
      case ',':
        Tok.TokenType = tktComma;
        Advance();
        FinishToken();
        return;
      default:
        break;
    }
    Tok.TokenType = IsDigit(Ch) ? tktInt : tktString;
    if (Ch == '-' || Ch == '+' || Ch == '*' || Ch == '/' || Ch == '=') {
      Advance();
      FinishToken();
      return;
    }
    if ((Ch == '|' && After == '|') || (Ch == '<' && (After == '=' || After == '>')) || (Ch == '>' && After == '=')) {
      Tok.Text += After;
      Advance();
      Advance();
      FinishToken();
      return;
    }
    if (Ch == '|' || Ch == '<' || Ch == '>') {
      Advance();
      FinishToken();
      return;
    }
    Tok.Text.clear();
    AppendCharacter();
  }

  void ReadQuoted(char Opening, char Closing, TTokenType Type) {
    Tok.TokenType = Type;
    QuoteOpen = true;
    QuoteLine = Tok.LineNum;
    QuoteColumn = Tok.ColumnNum;
    (void)Opening;
    Advance();  // the opening character
    while (Pos < S.size()) {
      const char Ch = S[Pos];
      if (Ch == Closing) {
        if (Next() == Closing) {
          Tok.Text += Ch;
          Advance();
          Advance();
          continue;
        }
        Advance();
        QuoteOpen = false;
        break;
      }
      if (Opening == '`' && Ch == '\\' && Pos + 1 < S.size()) {
        Advance();
        AppendCharacter();
        continue;
      }
      AppendCharacter();
    }
    if (QuoteOpen) return;  // the end-of-command check reports it
    const bool NeverKeyword = Opening == '[' || Opening == '`';
    FinishToken();
    if (NeverKeyword && !L.FCommands.back().Tokens.empty()) L.FCommands.back().Tokens.back().ReservedWord = rwNone;
  }

  void FinishToken() {
    if (!TokenOpen) return;
    TokenOpen = false;
    if (Tok.TokenType == tktInt) {
      if (Tok.Text.find('.') != std::string::npos || Tok.Text.find_first_of("Ee") != std::string::npos)
        Tok.TokenType = tktFloat;
    }
    if (QuoteOpen) {
      // Unterminated: kept only for the end-of-command check to report.
    } else if (Tok.TokenType == tktString && !Tok.Text.empty() && (Tok.Text[0] == ':' || Tok.Text[0] == '?') && !L.FNoParams) {
      BindParameter();
    } else if (Tok.TokenType == tktString) {
      const std::int32_t Word = FindReservedWord(Tok.Text);
      if (Word > 0) {
        Tok.TokenType = tktReservedWord;
        Tok.ReservedWord = static_cast<TReservedWord>(Word);
      }
    }
    L.FCommands.back().Tokens.push_back(std::move(Tok));
    Tok = TToken();
  }

  void BindParameter() {
    Tok.TokenType = tktParameter;
    const TQXLSQLParam* Param = nullptr;
    if (Tok.Text[0] == ':') {
      Tok.Text.erase(0, 1);
      if (L.FSQLParams) Param = L.FSQLParams->GetParamByName(Tok.Text);
    } else {
      const std::int32_t Index = PositionalCount++;
      Tok.Text = "Param" + std::to_string(PositionalCount);
      if (L.FSQLParams) Param = L.FSQLParams->GetValue(Index);
    }
    if (!Param) throw EQXLException(30358, "Value for parameter '%s' not found", {Tok.Text});
    Tok.ParamValue = L.KeepParamValue(*Param);
  }

  void EndCommand() {
    if (!CommandOpen) return;
    if (Depth > 0) throw EQXLException(30059, "Missing symbol ')' at line %d, column %d", {OpenLine, OpenColumn});
    if (Depth < 0)
      throw EQXLException(30060, "Unexpected symbol ')' found at line %d, column %d", {CloseLine, CloseColumn});
    Previous = ' ';
    if (QuoteOpen) throw EQXLException(30061, "Unterminated string at line %d, column %d", {QuoteLine, QuoteColumn});
    CommandOpen = false;
  }

  TQXLLexer& L;
  const std::string& S;
  std::size_t Pos = 0;
  std::int32_t Line = 1;
  std::int32_t Column = 1;
  char Previous = ' ';
  bool TokenOpen = false;
  bool CommandOpen = false;
  TToken Tok;
  std::int32_t Depth = 0;
  std::int32_t OpenLine = 0, OpenColumn = 0, CloseLine = 0, CloseColumn = 0;
  bool QuoteOpen = false;
  std::int32_t QuoteLine = 0, QuoteColumn = 0;
  std::int32_t PositionalCount = 0;
};

void RunTokenizer(TQXLLexer& Lexer) { TQXLTokenizer(Lexer).Run(); }

}  // namespace qxl
