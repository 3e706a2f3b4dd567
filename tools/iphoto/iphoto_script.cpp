#include "iphoto_script.hpp"

#include <charconv>
#include <span>
#include <typeinfo>

#include "platform/script_host.hpp"
#include "shared/utf8.hpp"

namespace twinlens::standin {

namespace {

struct Token {
  enum class Kind { Word, Number, Text, Symbol, EndOfLine, EndOfScript };
  Kind kind = Kind::EndOfScript;
  // As written; a text keeps its quotation marks.
  std::string_view source;

  bool isLineEnd() const { return kind == Kind::EndOfLine || kind == Kind::EndOfScript; }
};

// Longer than this, a token is cut short in messages.
constexpr std::size_t kLongestQuotedToken = 60;

bool isWordStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Splits a script into tokens. Never fails: a text missing its closing quotation mark runs to
// the end of the script, and the parser refuses it there.
class Lexer {
 public:
  explicit Lexer(std::string_view source) : source_(source) {}

  std::vector<Token> tokens() {
    std::vector<Token> tokens;
    for (;;) {
      Token token = next();
      tokens.push_back(token);
      if (token.kind == Token::Kind::EndOfScript) return tokens;
    }
  }

 private:
  Token next() {
    while (at_ < source_.size() && (source_[at_] == ' ' || source_[at_] == '\t')) ++at_;
    if (at_ == source_.size()) return Token{Token::Kind::EndOfScript, {}};
    std::size_t start = at_;
    char c = source_[at_++];
    if (c == '\r' && at_ < source_.size() && source_[at_] == '\n') ++at_;
    if (c == '\n' || c == '\r') return make(Token::Kind::EndOfLine, start);
    if (isWordStart(c)) {
      while (at_ < source_.size() && (isWordStart(source_[at_]) || isDigit(source_[at_]))) ++at_;
      return make(Token::Kind::Word, start);
    }
    if (isDigit(c)) {
      while (at_ < source_.size() && isDigit(source_[at_])) ++at_;
      return make(Token::Kind::Number, start);
    }
    if (c == '"') return text(start);
    while (at_ < source_.size() && isContinuationByte(source_[at_])) ++at_;
    return make(Token::Kind::Symbol, start);
  }

  Token text(std::size_t start) {
    while (at_ < source_.size() && source_[at_] != '"') {
      if (source_[at_] == '\\' && at_ + 1 < source_.size()) ++at_;
      ++at_;
    }
    // An unclosed text reaches the end of the script and is left without its end, which no
    // pattern matches.
    if (at_ < source_.size()) ++at_;
    return make(Token::Kind::Text, start);
  }

  Token make(Token::Kind kind, std::size_t start) {
    return Token{kind, source_.substr(start, at_ - start)};
  }

  std::string_view source_;
  std::size_t at_ = 0;
};

// A pattern's token "#" stands for a photo id.
bool isNumberSlot(const Token& token) {
  return token.kind == Token::Kind::Symbol && token.source == "#";
}

bool matches(const Token& pattern, const Token& token) {
  if (isNumberSlot(pattern)) return token.kind == Token::Kind::Number;
  if (pattern.kind == Token::Kind::EndOfLine) return token.isLineEnd();
  return pattern.kind == token.kind && pattern.source == token.source;
}

// `text` safe to quote: valid UTF-8 (anything else, and control characters, become U+FFFD) and
// cut short after kLongestQuotedToken bytes.
std::string printable(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (out.size() >= kLongestQuotedToken) {
      out += "…";
      break;
    }
    unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length = utf8SequenceLength(text, i);
    if (length == 0 || lead < 0x20 || lead == 0x7F) {
      out += "\uFFFD";
      ++i;
      continue;
    }
    out.append(text.substr(i, length));
    i += length;
  }
  return out;
}

std::string describe(const Token& token) {
  if (isNumberSlot(token)) return "number";
  if (token.kind == Token::Kind::EndOfLine) return "end of line";
  if (token.kind == Token::Kind::EndOfScript) return "end of script";
  return "“" + printable(token.source) + "”";
}

struct Pattern {
  std::vector<Token> tokens;                // ends with an EndOfLine
  std::optional<IPhotoCommand::Kind> kind;  // none for the lines that open and close the block
};

Pattern pattern(std::string_view text, std::optional<IPhotoCommand::Kind> kind) {
  std::vector<Token> tokens = Lexer(text).tokens();
  tokens.back().kind = Token::Kind::EndOfLine;
  return Pattern{std::move(tokens), kind};
}

const Pattern& tellPattern() {
  static const Pattern tell = pattern("tell application \"iPhoto\"", std::nullopt);
  return tell;
}

// The lines inside the block; the last one closes it.
const std::vector<Pattern>& bodyPatterns() {
  using Kind = IPhotoCommand::Kind;
  static const std::vector<Pattern> patterns = {
      pattern("quit", Kind::Quit),
      pattern("activate", Kind::Activate),
      pattern("select photo library album", Kind::SelectLibraryAlbum),
      pattern("select photo id #", Kind::SelectPhoto),
      pattern("remove photo id #", Kind::RemovePhoto),
      pattern("get {_Id:id, _ImagePath:image path, _OriginalPath:original path, _ThumbPath:"
              "thumbnail path, _Caption:title, _Comment:comment, _Date:date} of every photo in "
              "photo library album",
              Kind::GetAlbumData),
      pattern("end tell", std::nullopt),
  };
  return patterns;
}

class Parser {
 public:
  Parser(std::string_view source, ErrorRecord* error)
      : tokens_(Lexer(source).tokens()), error_(error) {}

  std::optional<std::vector<IPhotoCommand>> commands() {
    skipBlankLines();
    if (!matchLine({&tellPattern(), 1})) return std::nullopt;
    std::vector<IPhotoCommand> commands;
    const std::vector<Pattern>& body = bodyPatterns();
    for (;;) {
      skipBlankLines();
      if (current().kind == Token::Kind::EndOfScript)
        return fail("Expected “end” or “end tell” but found end of script.");
      std::size_t lineStart = at_;
      const Pattern* line = matchLine(body);
      if (!line) return std::nullopt;
      if (!line->kind) break;
      commands.push_back(command(*line, lineStart));
    }
    skipBlankLines();
    if (current().kind != Token::Kind::EndOfScript)
      return fail("Expected end of script but found " + describe(current()) + ".");
    return commands;
  }

 private:
  const Token& current() const { return tokens_[at_]; }

  void skipBlankLines() {
    while (current().kind == Token::Kind::EndOfLine) ++at_;
  }

  // The pattern the line at at_ matches, moving past the line; or null after failing with the
  // token where the longest partial match broke off.
  const Pattern* matchLine(std::span<const Pattern> patterns) {
    std::size_t longest = 0;
    std::vector<const Token*> expected;
    for (const Pattern& candidate : patterns) {
      std::size_t n = 0;
      while (n < candidate.tokens.size() && at_ + n < tokens_.size() &&
             matches(candidate.tokens[n], tokens_[at_ + n]))
        ++n;
      if (n == candidate.tokens.size()) {
        at_ += n - (tokens_[at_ + n - 1].kind == Token::Kind::EndOfScript ? 1 : 0);
        return &candidate;
      }
      if (n > longest) expected.clear();
      if (n >= longest) {
        longest = n;
        expected.push_back(&candidate.tokens[n]);
      }
    }
    std::string message = "Expected " + describe(*expected.front());
    for (const Token* other : expected)
      if (describe(*other) != describe(*expected.front())) {
        message += ", etc.";
        break;
      }
    fail(message + " but found " + describe(tokens_[at_ + longest]) + ".");
    return nullptr;
  }

  IPhotoCommand command(const Pattern& line, std::size_t lineStart) const {
    IPhotoCommand command;
    command.kind = *line.kind;
    for (std::size_t i = 0; i < line.tokens.size(); ++i) {
      if (!isNumberSlot(line.tokens[i])) continue;
      std::string_view digits = tokens_[lineStart + i].source;
      command.photoIdText = std::string(digits);
      std::uint64_t value = 0;
      auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
      if (ec == std::errc() && end == digits.data() + digits.size()) command.photoId = value;
    }
    return command;
  }

  std::nullopt_t fail(const std::string& message) {
    TL_SET_ERROR(error_, &typeid(IPhotoScript), IPhotoScript::errorDomain(), kScriptSyntaxError,
                 "%s", message.c_str());
    return std::nullopt;
  }

  std::vector<Token> tokens_;
  std::size_t at_ = 0;
  ErrorRecord* error_;
};

}  // namespace

std::optional<IPhotoScript> IPhotoScript::parse(std::string_view source, ErrorRecord* error) {
  std::optional<std::vector<IPhotoCommand>> commands = Parser(source, error).commands();
  if (!commands) return std::nullopt;
  return IPhotoScript(std::move(*commands));
}

}  // namespace twinlens::standin
