#include "temp_permits.h"

#include <cstring>
#include <iterator>

#include "ghostscript.h"
#include "platform/platform.h"
#include "workstation_settings.h"

namespace quillmend {

namespace {

// Start-up reads the first of these that is set (from the environment, or on Windows the
// registry), or takes both fallbacks when none is. All are withdrawn: removing an entry that is
// not there changes nothing.
const char* const kTempVariables[] = {"TMPDIR", "TEMP", "TMP"};
const char* const kFallbackDirectories[] = {"/temp", "/tmp"};

// Reading, writing and file control: start-up grants all three on the temporary directory.
constexpr int kPermitTypes[] = {0, 1, 2};

constexpr std::size_t kValueCapacity = 1024;
// Escaping can double every byte; the separator and the wildcard come on top.
constexpr std::size_t kEntryCapacity = 2 * kValueCapacity + 8;

// Text built in a caller's fixed buffer, always NUL-terminated.
struct Text {
  char* data;
  std::size_t capacity;
  std::size_t length = 0;

  bool Append(const char* bytes, std::size_t count) {
    if (capacity - length <= count) return false;
    std::memcpy(data + length, bytes, count);
    length += count;
    data[length] = '\0';
    return true;
  }
  void Truncate(std::size_t to) {
    length = to;
    data[length] = '\0';
  }
  bool EndsWithSeparator() const { return length > 0 && os::IsPathSeparator(data[length - 1]); }
};

bool IsCurrent(const char* item, std::size_t length) {
  return length == 1 && item[0] == '.';
}

bool IsParent(const char* item, std::size_t length) {
  return length == 2 && item[0] == '.' && item[1] == '.';
}

// Joins `directory` and `name` the way Ghostscript does on this platform: empty components and
// "." are dropped, ".." takes the component before it away, and a missing separator is a slash.
// An empty `name` that follows `directory` directly reduces the directory alone. False where
// Ghostscript refuses (a ".." above the root) or the result does not fit.
bool JoinAsGhostscript(const char* directory, std::size_t directory_length, const char* name,
                       std::size_t name_length, Text* out) {
  const char* const name_end = name + name_length;
  std::size_t root = os::PathRootLength(name, name_length);
  const char* in = name;
  const char* in_end = name_end;
  if (root == 0) {
    in = directory;
    in_end = directory + directory_length;
    root = os::PathRootLength(directory, directory_length);
  }
  if (!out->Append(in, root)) return false;
  in += root;
  // A drive without a separator ("C:dir") gets one.
  if (root != 0 && !out->EndsWithSeparator()) {
    if (!out->Append("/", 1)) return false;
    ++root;
  }
  // A leading "." or run of ".." that a relative path keeps after its root.
  bool infix_is_current = false;
  std::size_t infix_length = 0;
  for (;;) {
    const char* item = in;
    while (in < in_end && !os::IsPathSeparator(*in)) ++in;
    const auto item_length = static_cast<std::size_t>(in - item);
    std::size_t separator = in < in_end ? 1 : 0;
    if (item_length == 0) {
      in += separator;
      separator = 0;
    } else if (IsCurrent(item, item_length)) {
      // Only a leading "." is kept.
      if (out->length == 0) {
        if (!out->Append(item, item_length)) return false;
        infix_is_current = true;
        infix_length = item_length;
      } else {
        in += separator;
        separator = 0;
      }
    } else if (!IsParent(item, item_length)) {
      if (!out->Append(item, item_length)) return false;
    } else if (out->length == root + infix_length) {
      // Nothing to go up from: a relative path keeps its "..", an absolute one cannot.
      if (root != 0) return false;
      if (infix_is_current) {
        out->Truncate(root);
        infix_length = 0;
        infix_is_current = false;
      }
      if (!out->Append(item, item_length)) return false;
      infix_length += item_length;
    } else {
      // ".." drops the last component with its separator.
      std::size_t end = out->length;
      if (end > root && os::IsPathSeparator(out->data[end - 1])) --end;
      while (end > root && !os::IsPathSeparator(out->data[end - 1])) --end;
      out->Truncate(end);
      in += separator;
      separator = 0;
    }
    if (separator != 0) {
      if (out->length == root + infix_length) infix_length += separator;
      if (!out->Append(in, separator)) return false;
      in += separator;
    }
    if (in != in_end) continue;
    if (in_end == name_end) {
      return out->length != 0 || out->Append(".", 1);
    }
    in = name;
    in_end = name_end;
    if (separator == 0) {
      if (out->length == root + infix_length) ++infix_length;
      if (!out->Append("/", 1)) return false;
    }
  }
}

// The permit entry that start-up makes of a temporary directory: the directory joined with a
// placeholder name, escaped as a template (backslash, '*' and '?' get a backslash), the
// placeholder replaced by '*', and the whole reduced once more as every entry is stored.
// Removal must name the entry exactly as stored.
bool TempDirectoryEntry(const char* directory, Text* entry) {
  char joined_buffer[kEntryCapacity];
  Text joined{joined_buffer, sizeof(joined_buffer)};
  if (!JoinAsGhostscript(directory, std::strlen(directory), "x", 1, &joined)) return false;

  char template_buffer[kEntryCapacity];
  Text pattern{template_buffer, sizeof(template_buffer)};
  for (std::size_t i = 0; i + 1 < joined.length; ++i) {
    const char c = joined.data[i];
    if ((c == '\\' || c == '*' || c == '?') && !pattern.Append("\\", 1)) return false;
    if (!pattern.Append(&c, 1)) return false;
  }
  if (!pattern.Append("*", 1)) return false;

  // Pipes are stored as given.
  if (pattern.data[0] == '|' ||
      (pattern.length > 5 && std::memcmp(pattern.data, "%pipe", 5) == 0)) {
    return entry->Append(pattern.data, pattern.length);
  }
  return JoinAsGhostscript(pattern.data, pattern.length, pattern.data + pattern.length, 0, entry);
}

bool WithdrawEntryFor(void* instance, const char* directory) {
  char entry_buffer[kEntryCapacity];
  Text entry{entry_buffer, sizeof(entry_buffer)};
  // A directory Ghostscript cannot join with a name got no entry.
  if (!TempDirectoryEntry(directory, &entry)) return true;
  for (const int type : kPermitTypes) {
    if (GsApi.RemoveControlPath(instance, type, entry.data) < 0) return false;
  }
  return true;
}

}  // namespace

bool WithdrawTempDirectoryPermits(void* instance) {
  for (const char* variable : kTempVariables) {
    // Every value Ghostscript may have taken, each withdrawn once.
    char values[std::size(kSettingSources)][kValueCapacity];
    std::size_t found = 0;
    for (const SettingSource source : kSettingSources) {
      char* value = values[found];
      const os::EnvironmentValue read =
          ReadGhostscriptSetting(variable, source, value, kValueCapacity);
      if (read == os::EnvironmentValue::kUnusable) return false;
      if (read != os::EnvironmentValue::kSet) continue;
      bool seen = false;
      for (std::size_t i = 0; i < found; ++i) seen = seen || std::strcmp(values[i], value) == 0;
      if (seen) continue;
      if (!WithdrawEntryFor(instance, value)) return false;
      ++found;
    }
  }
  for (const char* directory : kFallbackDirectories) {
    if (!WithdrawEntryFor(instance, directory)) return false;
  }
  return true;
}

}  // namespace quillmend
