#include "platform/RegistryDocument.h"

#include <algorithm>
#include <cstdio>

namespace quorel {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsSpace(s[i])) ++i;
  return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsSpace(s[n - 1])) --n;
  return s.substr(0, n);
}

std::string_view Trim(std::string_view s) {
  return TrimRight(TrimLeft(s));
}

bool HasControlChars(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; });
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = s[i], b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string &out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Files exported on Windows are UTF-16LE with a byte-order mark.
bool Utf16LeToUtf8(std::string_view in, std::string &out) {
  if (in.size() % 2 != 0) return false;
  out.reserve(in.size() / 2);
  for (size_t i = 0; i < in.size(); i += 2) {
    uint32_t unit = static_cast<unsigned char>(in[i]) | (static_cast<unsigned char>(in[i + 1]) << 8);
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 3 >= in.size()) return false;
      uint32_t low = static_cast<unsigned char>(in[i + 2]) | (static_cast<unsigned char>(in[i + 3]) << 8);
      if (low < 0xDC00 || low > 0xDFFF) return false;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return false;
    }
    AppendUtf8(out, unit);
  }
  return true;
}

// Reads a quoted name or string starting at s[0] == '"'. On success stores the
// unescaped text and returns the number of characters consumed.
std::optional<size_t> ReadQuoted(std::string_view s, std::string *text) {
  std::string out;
  for (size_t i = 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\\') {
      if (i + 1 >= s.size()) return std::nullopt;
      out.push_back(s[++i]);
    } else if (c == '"') {
      if (text != nullptr) *text = std::move(out);
      return i + 1;
    } else {
      out.push_back(c);
    }
  }
  return std::nullopt;
}

std::string Quote(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// "01,02,ff" with optional spaces and an optional trailing comma; empty is fine.
bool IsHexList(std::string_view data) {
  data = Trim(data);
  if (data.empty()) return true;
  if (data.back() == ',') data.remove_suffix(1);
  while (true) {
    size_t comma = data.find(',');
    std::string_view byte = Trim(data.substr(0, comma));
    if (byte.empty() || byte.size() > 2) return false;
    for (char c : byte)
      if (HexDigit(c) < 0) return false;
    if (comma == std::string_view::npos) return true;
    data.remove_prefix(comma + 1);
  }
}

class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  bool Next(std::string_view &line) {
    if (pos_ > text_.size() || (pos_ == text_.size() && !pendingEmpty_)) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pendingEmpty_ = false;
    pos_ = end + 1;
    ++number_;
    return true;
  }
  size_t Number() const { return number_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  size_t number_ = 0;
  bool pendingEmpty_ = true;
};

}  // namespace

std::string RegistryDocument::Lower(std::string_view s) {
  std::string out(s);
  for (char &c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool RegistryDocument::IsValidKeyPath(std::string_view path) {
  if (path.empty() || HasControlChars(path)) return false;
  if (path.front() == '\\' || path.back() == '\\') return false;
  return path.find("\\\\") == std::string_view::npos;
}

std::optional<RegistryDocument> RegistryDocument::Parse(std::string_view input, ParseError *error) {
  auto fail = [error](size_t line, const char *reason) -> std::optional<RegistryDocument> {
    if (error != nullptr) *error = ParseError{line, reason};
    return std::nullopt;
  };

  std::string converted;
  std::string_view text = input;
  if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF && static_cast<unsigned char>(text[1]) == 0xFE) {
    if (!Utf16LeToUtf8(text.substr(2), converted)) return fail(0, "broken UTF-16 text");
    text = converted;
  } else if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
  }

  RegistryDocument doc;
  Lines lines(text);
  std::string_view line;
  bool haveHeader = false;
  Key *current = nullptr;
  while (lines.Next(line)) {
    const size_t number = lines.Number();
    if (HasControlChars(line)) return fail(number, "control characters");
    std::string_view body = Trim(line);
    if (body.empty()) continue;
    if (!haveHeader) {
      if (body != kHeader && body != "REGEDIT4") return fail(number, "missing header");
      haveHeader = true;
      continue;
    }
    if (body.front() == ';') {
      Entry comment{Entry::Kind::kComment, "", 0, std::string(line)};
      if (current == nullptr) {
        doc.preamble_.push_back(std::move(comment.raw));
      } else {
        current->entries.push_back(std::move(comment));
      }
      continue;
    }
    if (body.front() == '[') {
      if (body.back() != ']' || body.size() < 3) return fail(number, "unterminated section");
      std::string_view path = body.substr(1, body.size() - 2);
      if (!IsValidKeyPath(path.front() == '-' ? path.substr(1) : path)) return fail(number, "bad key path");
      auto found = doc.index_.find(Lower(path));
      current = found != doc.index_.end() ? &doc.keys_[found->second]
                                          : &doc.keys_[doc.AddKey(std::string(path), /*keepFileOrder=*/true)];
      continue;
    }
    if (body.front() != '"' && body.front() != '@') return fail(number, "unexpected line");
    if (current == nullptr) return fail(number, "value outside a section");

    Entry entry;
    size_t used = 1;
    if (body.front() == '"') {
      auto n = ReadQuoted(body, &entry.name);
      if (!n) return fail(number, "unterminated quote");
      used = *n;
    }
    std::string_view rest = TrimLeft(body.substr(used));
    if (rest.empty() || rest.front() != '=') return fail(number, "missing '='");
    std::string_view data = Trim(rest.substr(1));
    if (StartsWithNoCase(data, "dword:")) {
      std::string_view digits = data.substr(6);
      if (digits.empty() || digits.size() > 8) return fail(number, "bad dword");
      uint32_t value = 0;
      for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0) return fail(number, "bad dword");
        value = (value << 4) | static_cast<uint32_t>(d);
      }
      entry.kind = Entry::Kind::kDword;
      entry.dword = value;
    } else {
      entry.kind = Entry::Kind::kOther;
      entry.raw = std::string(TrimRight(line));
      if (data == "-") {
        // A deletion line: kept, and the value counts as missing.
      } else if (!data.empty() && data.front() == '"') {
        auto n = ReadQuoted(data, nullptr);
        if (!n || *n != data.size()) return fail(number, "bad string value");
      } else if (StartsWithNoCase(data, "hex")) {
        std::string_view afterHex = data.substr(3);
        if (!afterHex.empty() && afterHex.front() == '(') {
          size_t close = afterHex.find(')');
          if (close == std::string_view::npos || close < 2 || close > 9) return fail(number, "bad hex type");
          for (char c : afterHex.substr(1, close - 1))
            if (HexDigit(c) < 0) return fail(number, "bad hex type");
          afterHex.remove_prefix(close + 1);
        }
        if (afterHex.empty() || afterHex.front() != ':') return fail(number, "bad hex value");
        std::string bytes(afterHex.substr(1));
        std::string_view tail = TrimRight(line);
        while (!tail.empty() && tail.back() == '\\') {
          std::string_view more;
          if (!lines.Next(more)) return fail(lines.Number(), "unfinished continued line");
          if (HasControlChars(more)) return fail(lines.Number(), "control characters");
          bytes.pop_back();  // the backslash
          while (!bytes.empty() && IsSpace(bytes.back())) bytes.pop_back();
          bytes.append(Trim(more));
          tail = TrimRight(more);
          entry.raw.push_back('\n');
          entry.raw.append(tail);
        }
        if (!IsHexList(bytes)) return fail(number, "bad hex value");
      } else {
        return fail(number, "unknown value type");
      }
    }
    // A later line for the same name wins, as on import.
    std::string lowerName = Lower(entry.name);
    if (Entry *old = FindEntry(*current, lowerName)) {
      *old = std::move(entry);
    } else {
      AppendEntry(*current, std::move(lowerName), std::move(entry));
    }
  }
  return doc;
}

std::string RegistryDocument::Serialize() const {
  std::string out;
  out.append(kHeader).append("\n\n");
  for (const std::string &comment : preamble_) out.append(comment).append("\n");
  if (!preamble_.empty()) out.append("\n");
  char hex[16];
  for (const Key &key : keys_) {
    out.append("[").append(key.path).append("]\n");
    for (const Entry &e : key.entries) {
      if (e.kind == Entry::Kind::kDword) {
        out.append(e.name.empty() ? std::string("@") : Quote(e.name));
        std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(e.dword));
        out.append("=dword:").append(hex).append("\n");
      } else {
        out.append(e.raw).append("\n");
      }
    }
    out.append("\n");
  }
  return out;
}

const RegistryDocument::Key *RegistryDocument::FindKey(std::string_view path) const {
  auto found = index_.find(Lower(path));
  return found == index_.end() ? nullptr : &keys_[found->second];
}

RegistryDocument::Key *RegistryDocument::FindKey(std::string_view path) {
  auto found = index_.find(Lower(path));
  return found == index_.end() ? nullptr : &keys_[found->second];
}

const RegistryDocument::Entry *RegistryDocument::FindEntry(const Key &key, const std::string &lowerName) {
  auto found = key.byName.find(lowerName);
  if (found != key.byName.end()) return &key.entries[found->second];
  return nullptr;
}

void RegistryDocument::AppendEntry(Key &key, std::string lowerName, Entry entry) {
  key.byName.emplace(std::move(lowerName), key.entries.size());
  key.entries.push_back(std::move(entry));
}

RegistryDocument::Entry *RegistryDocument::FindEntry(Key &key, const std::string &lowerName) {
  return const_cast<Entry *>(FindEntry(static_cast<const Key &>(key), lowerName));
}

void RegistryDocument::NoteAncestors(const std::string &lowerPath) {
  for (size_t pos = lowerPath.find('\\'); pos != std::string::npos; pos = lowerPath.find('\\', pos + 1))
    ancestors_.insert(lowerPath.substr(0, pos));
}

size_t RegistryDocument::InsertPosition(std::string_view lowerPath) const {
  // After the subtree of the nearest existing ancestor, so that a file written
  // by us lists parents before children, as an export does. A key created
  // after its children goes in front of the first of them.
  const std::string childPrefix = std::string(lowerPath) + "\\";
  for (size_t i = 0; i < keys_.size(); ++i)
    if (Lower(keys_[i].path).starts_with(childPrefix)) return i;
  std::string ancestor(lowerPath);
  while (true) {
    size_t cut = ancestor.rfind('\\');
    if (cut == std::string::npos) return keys_.size();
    ancestor.resize(cut);
    auto found = index_.find(ancestor);
    if (found == index_.end()) continue;
    const std::string prefix = ancestor + "\\";
    size_t pos = found->second + 1;
    while (pos < keys_.size() && Lower(keys_[pos].path).starts_with(prefix)) ++pos;
    return pos;
  }
}

size_t RegistryDocument::AddKey(std::string path, bool keepFileOrder) {
  std::string lower = Lower(path);
  size_t pos = keepFileOrder ? keys_.size() : InsertPosition(lower);
  keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(pos), Key{std::move(path), {}, {}});
  if (pos + 1 == keys_.size()) {
    index_.emplace(lower, pos);
  } else {
    index_.clear();
    for (size_t i = 0; i < keys_.size(); ++i) index_.emplace(Lower(keys_[i].path), i);
  }
  NoteAncestors(lower);
  return pos;
}

bool RegistryDocument::KeyExists(std::string_view path) const {
  std::string lower = Lower(path);
  return index_.count(lower) != 0 || ancestors_.count(lower) != 0;
}

bool RegistryDocument::CreateKey(std::string_view path) {
  if (!IsValidKeyPath(path) || path.front() == '-') return false;
  if (FindKey(path) == nullptr) AddKey(std::string(path), /*keepFileOrder=*/false);
  return true;
}

std::optional<uint32_t> RegistryDocument::QueryDword(std::string_view path, std::string_view name) const {
  const Key *key = FindKey(path);
  if (key == nullptr) return std::nullopt;
  const Entry *e = FindEntry(*key, Lower(name));
  if (e == nullptr || e->kind != Entry::Kind::kDword) return std::nullopt;
  return e->dword;
}

bool RegistryDocument::SetDword(std::string_view path, std::string_view name, uint32_t value) {
  if (HasControlChars(name)) return false;
  Key *key = FindKey(path);
  if (key == nullptr) return false;
  Entry entry{Entry::Kind::kDword, std::string(name), value, {}};
  std::string lowerName = Lower(name);
  if (Entry *old = FindEntry(*key, lowerName)) {
    entry.name = old->name;  // keep the spelling already in the file
    *old = std::move(entry);
  } else {
    AppendEntry(*key, std::move(lowerName), std::move(entry));
  }
  return true;
}

}  // namespace quorel
