#include "page_count.h"

#include <string_view>
#include <vector>

namespace xtview {

namespace {

// startxref lies in the last bytes of a document.
constexpr std::size_t kTailSearched = 1024;
// Each entry of a cross-reference table is exactly this long: "nnnnnnnnnn ggggg n" and two bytes
// of line end.
constexpr std::size_t kEntrySize = 20;
constexpr std::size_t kLongestNumber = 18;  // digits; more cannot be an offset or a count

bool IsWhite(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\0';
}

bool IsDelimiter(char c) {
  return std::string_view("()<>[]{}/%").find(c) != std::string_view::npos;
}

std::optional<std::int64_t> Integer(std::string_view token) {
  if (token.empty() || token.size() > kLongestNumber) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : token) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// PDF's tokens, one at a time: "<<", ">>", "[", "]", "{", "}", a name with its slash, a whole
// string with its brackets, or a run of regular characters. Empty at the end, and from a string
// that does not end.
class Lexer {
 public:
  Lexer(std::string_view text, std::size_t at) : text_(text), at_(at) {}

  std::size_t at() const { return at_; }
  void Seek(std::size_t at) { at_ = at; }

  void SkipWhite() {
    while (at_ < text_.size()) {
      if (IsWhite(text_[at_])) {
        ++at_;
      } else if (text_[at_] == '%') {
        while (at_ < text_.size() && text_[at_] != '\n' && text_[at_] != '\r') ++at_;
      } else {
        return;
      }
    }
  }

  std::string_view Next() {
    SkipWhite();
    if (at_ >= text_.size()) return {};
    const std::size_t start = at_;
    const char c = text_[at_++];
    const bool doubled = at_ < text_.size() && text_[at_] == c;
    if ((c == '<' || c == '>') && doubled) {
      ++at_;
    } else if (c == '<') {
      at_ = text_.find('>', at_);
      if (at_ == std::string_view::npos) return End();
      ++at_;
    } else if (c == '(') {
      if (!SkipString()) return End();
    } else if (c == '/') {
      while (at_ < text_.size() && !IsWhite(text_[at_]) && !IsDelimiter(text_[at_])) ++at_;
    } else if (!IsDelimiter(c)) {
      while (at_ < text_.size() && !IsWhite(text_[at_]) && !IsDelimiter(text_[at_])) ++at_;
    }
    return text_.substr(start, at_ - start);
  }

 private:
  std::string_view End() {
    at_ = text_.size();
    return {};
  }

  // After the opening bracket: to the bracket that closes it, past escaped ones.
  bool SkipString() {
    for (std::size_t depth = 1; at_ < text_.size(); ++at_) {
      const char c = text_[at_];
      if (c == '\\') {
        ++at_;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')' && --depth == 0) {
        ++at_;
        return true;
      }
    }
    return false;
  }

  std::string_view text_;
  std::size_t at_;
};

// A dictionary entry's value, where it is a number, a reference or a name.
struct Value {
  std::int64_t number = -1;
  bool reference = false;
  std::string_view name;
};

bool Opens(std::string_view token) {
  return token == "<<" || token == "[" || token == "{";
}
bool Closes(std::string_view token) {
  return token == ">>" || token == "]" || token == "}";
}

// The value of `key` in the dictionary whose "<<" the lexer has just read. Empty when the key
// is missing, its value is of another kind, or the dictionary is malformed.
std::optional<Value> Lookup(Lexer* lexer, std::string_view key) {
  for (;;) {
    const std::string_view name = lexer->Next();
    if (name.empty() || name == ">>" || name.front() != '/') return std::nullopt;
    const std::string_view token = lexer->Next();
    if (token.empty() || Closes(token) || token == ")" || token == ">") return std::nullopt;
    Value value;
    bool simple = true;
    if (Opens(token)) {
      simple = false;
      for (int depth = 1; depth > 0;) {
        const std::string_view inner = lexer->Next();
        if (inner.empty()) return std::nullopt;
        depth += Opens(inner) ? 1 : Closes(inner) ? -1 : 0;
      }
    } else if (const std::optional<std::int64_t> number = Integer(token)) {
      value.number = *number;
      const std::size_t after = lexer->at();
      const bool generation = Integer(lexer->Next()).has_value();
      value.reference = generation && lexer->Next() == "R";
      if (!value.reference) lexer->Seek(after);
    } else if (token.front() == '/') {
      value.name = token;
    }
    if (name == key) return simple ? std::optional<Value>(value) : std::nullopt;
  }
}

struct Subsection {
  std::int64_t first;
  std::int64_t count;
  std::size_t entries;  // where its first entry starts
};

class Document {
 public:
  explicit Document(std::string_view text) : text_(text) {}

  // Reads the table that startxref names; the lexer is then inside the trailer's dictionary.
  bool ReadTable(Lexer* lexer) {
    const std::size_t tail = text_.size() > kTailSearched ? text_.size() - kTailSearched : 0;
    const std::size_t keyword = text_.substr(tail).rfind("startxref");
    if (keyword == std::string_view::npos) return false;
    lexer->Seek(tail + keyword + 9);
    const std::optional<std::int64_t> offset = Integer(lexer->Next());
    if (!offset || static_cast<std::uint64_t>(*offset) >= text_.size()) return false;
    lexer->Seek(static_cast<std::size_t>(*offset));
    if (lexer->Next() != "xref") return false;
    for (;;) {
      const std::string_view token = lexer->Next();
      if (token == "trailer") return lexer->Next() == "<<";
      const std::optional<std::int64_t> first = Integer(token);
      const std::optional<std::int64_t> count = Integer(lexer->Next());
      if (!first || !count) return false;
      lexer->SkipWhite();
      const std::size_t entries = lexer->at();
      if (static_cast<std::uint64_t>(*count) > (text_.size() - entries) / kEntrySize) return false;
      subsections_.push_back({*first, *count, entries});
      lexer->Seek(entries + static_cast<std::size_t>(*count) * kEntrySize);
    }
  }

  // Puts the lexer inside the dictionary of object `number`, which the table lists as in use.
  bool OpenObject(std::int64_t number, Lexer* lexer) const {
    for (const Subsection& subsection : subsections_) {
      if (number < subsection.first || number - subsection.first >= subsection.count) continue;
      const std::size_t entry =
          subsection.entries + static_cast<std::size_t>(number - subsection.first) * kEntrySize;
      const std::string_view line = text_.substr(entry, kEntrySize - 2);
      if (line.size() != kEntrySize - 2 || line[10] != ' ' || line[16] != ' ' || line[17] != 'n') {
        return false;
      }
      const std::optional<std::int64_t> offset = Integer(line.substr(0, 10));
      if (!offset || static_cast<std::uint64_t>(*offset) >= text_.size()) return false;
      lexer->Seek(static_cast<std::size_t>(*offset));
      return Integer(lexer->Next()) == number && Integer(lexer->Next()).has_value() &&
             lexer->Next() == "obj" && lexer->Next() == "<<";
    }
    return false;
  }

 private:
  std::string_view text_;
  std::vector<Subsection> subsections_;
};

}  // namespace

std::optional<std::int64_t> DeclaredPageCount(const std::uint8_t* bytes, std::uint64_t size) {
  if (bytes == nullptr) return std::nullopt;
  const std::string_view text(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
  Document document(text);
  Lexer lexer(text, 0);
  if (!document.ReadTable(&lexer)) return std::nullopt;
  const std::optional<Value> root = Lookup(&lexer, "/Root");
  if (!root || !root->reference || !document.OpenObject(root->number, &lexer)) return std::nullopt;
  const std::optional<Value> pages = Lookup(&lexer, "/Pages");
  if (!pages || !pages->reference || !document.OpenObject(pages->number, &lexer)) {
    return std::nullopt;
  }
  const std::size_t dictionary = lexer.at();
  const std::optional<Value> type = Lookup(&lexer, "/Type");
  if (!type || type->name != "/Pages") return std::nullopt;
  lexer.Seek(dictionary);
  const std::optional<Value> count = Lookup(&lexer, "/Count");
  if (!count || count->reference || count->number < 0) return std::nullopt;
  return count->number;
}

}  // namespace xtview
