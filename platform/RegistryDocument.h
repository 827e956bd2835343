// The contents of the settings file in memory: the registry's own text export
// format ("Windows Registry Editor Version 5.00", "[HKEY_...\Path]" sections,
// "Name"=dword:0000000a values), so that users can read and edit the file and
// import it on Windows.
//
// Only DWORD values are interpreted. Every other line that the format allows
// (strings, hex data of any type, deletions, comments, other hives) is kept
// verbatim so a hand-edited file survives being rewritten. Key and value names
// compare case-insensitively, as on Windows.
//
// Thread context: a document is a plain value; callers that share one guard it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace quorel {

class RegistryDocument {
 public:
  // One line (or, for hex data, one run of continued lines) inside a section.
  struct Entry {
    enum class Kind { kDword, kOther, kComment };
    Kind kind = Kind::kDword;
    std::string name;    // value name without quotes or escapes; "" for "@" and comments
    uint32_t dword = 0;  // kDword only
    std::string raw;     // kOther and kComment: the text as it was read (lines joined by '\n')
  };

  struct Key {
    std::string path;  // as written between the brackets, e.g. "HKEY_CURRENT_USER\Software"
    std::vector<Entry> entries;
    // Lower-case value name -> position in entries (comments are not named),
    // so that a key with many values is still read in linear time.
    std::unordered_map<std::string, size_t> byName;
  };

  struct ParseError {
    size_t line = 0;  // 1-based; 0 when the whole input is at fault
    std::string reason;
  };

  static constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
  static constexpr std::string_view kCurrentUser = "HKEY_CURRENT_USER";

  // Parses the file text. Empty (or blank) text is an empty document. Accepts
  // CRLF line ends, a UTF-8 byte-order mark, and UTF-16LE text with its mark.
  // Never throws on malformed input; on failure returns nullopt and fills *error.
  static std::optional<RegistryDocument> Parse(std::string_view text, ParseError *error = nullptr);

  // The file text: header, blank line, then each section followed by a blank line.
  std::string Serialize() const;

  // Paths below are full paths including the hive ("HKEY_CURRENT_USER\...").

  // True when the key has a section of its own or is the ancestor of one (a
  // section implies its parents, as on import).
  bool KeyExists(std::string_view path) const;

  // Creates the key and leaves it be when it exists. False for an unusable
  // path (empty, an empty component, control characters, brackets).
  bool CreateKey(std::string_view path);

  // The DWORD value, or nullopt when the key or the value is missing or the
  // value is of another type.
  std::optional<uint32_t> QueryDword(std::string_view path, std::string_view name) const;

  // Sets the value, replacing one of the same name whatever its type. The key
  // must exist as a section (CreateKey first); false otherwise or for a name
  // with control characters.
  bool SetDword(std::string_view path, std::string_view name, uint32_t value);

  const std::vector<Key> &Keys() const { return keys_; }
  const std::vector<std::string> &Preamble() const { return preamble_; }

  static bool IsValidKeyPath(std::string_view path);
  static std::string Lower(std::string_view s);

 private:
  const Key *FindKey(std::string_view path) const;
  Key *FindKey(std::string_view path);
  // Returns its index. Keys read from a file stay in the file's order.
  size_t AddKey(std::string path, bool keepFileOrder);
  void NoteAncestors(const std::string &lowerPath);
  size_t InsertPosition(std::string_view lowerPath) const;
  static Entry *FindEntry(Key &key, const std::string &lowerName);
  static const Entry *FindEntry(const Key &key, const std::string &lowerName);
  // Appends a named entry and indexes it under lowerName.
  static void AppendEntry(Key &key, std::string lowerName, Entry entry);

  std::vector<std::string> preamble_;  // comments before the first section
  std::vector<Key> keys_;
  std::unordered_map<std::string, size_t> index_;  // lower-case path -> position in keys_
  std::unordered_set<std::string> ancestors_;      // lower-case proper ancestors of every key
};

}  // namespace quorel
