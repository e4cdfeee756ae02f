#include "worker.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "ghostscript/ghostscript.h"
#include "pdf/pdf_pages.h"
#include "platform/platform.h"

namespace quillmend::worker {

namespace {

// The exit code that tells the plug-in why the document was not converted.
int ExitCodeFor(FailureReason reason) {
  return kFirstReasonExitCode + static_cast<int>(reason);
}

bool Is(const char16_t* argument, const char16_t* word) {
  return std::u16string_view(argument) == word;
}

// A whole number of decimal digits that fits 32 bits.
bool ReadNumber(const char16_t* text, std::uint32_t* number) {
  std::uint64_t value = 0;
  if (*text == u'\0') return false;
  for (; *text != u'\0'; ++text) {
    if (*text < u'0' || *text > u'9') return false;
    value = value * 10 + static_cast<std::uint64_t>(*text - u'0');
    if (value > 0xFFFFFFFFULL) return false;
  }
  *number = static_cast<std::uint32_t>(value);
  return true;
}

// A path as qpdf takes it: UTF-8, in `narrow` of kPathCapacity * 3 bytes.
bool NarrowPath(const char16_t* path, char* narrow) {
  const int size = os::Utf8Size(path);
  return size > 0 && static_cast<std::size_t>(size) <= os::kPathCapacity * 3 &&
         os::ConvertToUtf8(path, narrow, size);
}

bool WriteCount(std::uint64_t pages, const char16_t* count_file) {
  char digits[24];
  const int length =
      std::snprintf(digits, sizeof(digits), "%llu",
                    static_cast<unsigned long long>(pages));  // NOLINT(google-runtime-int)
  if (length <= 0) return false;
  const os::FileHandle file = os::OpenFileForWriting(count_file);
  if (file == os::kNoFile) return false;
  std::uint32_t written = 0;
  const auto size = static_cast<std::uint32_t>(length);
  const bool wrote = os::WriteBlock(file, digits, size, &written) && written == size;
  os::CloseFile(file);
  return wrote;
}

int ConvertWhole(const char16_t* input, const char16_t* output) {
  if (!LoadGsApi()) return kNoGhostscript;
  FailureReason reason = FailureReason::kUnknown;
  return ConvertWithGhostscript(input, output, &reason) ? kConverted : ExitCodeFor(reason);
}

// A long document is left to the plug-in to split; any other, and one whose pages qpdf cannot
// count, converts whole at once, in this same process.
int ConvertWholeUnlessLong(const char16_t* const* arguments) {
  std::uint32_t fewest = 0;
  if (!ReadNumber(arguments[0], &fewest) || fewest == 0) return kUsage;
  char narrow[os::kPathCapacity * 3];
  std::uint64_t pages = 0;
  if (NarrowPath(arguments[1], narrow) && pdf::CountPages(narrow, &pages) && pages >= fewest &&
      WriteCount(pages, arguments[3])) {
    return kLongEnoughToSplit;
  }
  return ConvertWhole(arguments[1], arguments[2]);
}

int Join(int count, const char16_t* const* arguments) {
  std::uint32_t pages = 0;
  if (!ReadNumber(arguments[0], &pages)) return kUsage;
  static char narrow[kMostArguments][os::kPathCapacity * 3];
  const char* parts[kMostParts] = {};
  for (int i = 1; i < count; ++i) {
    if (!NarrowPath(arguments[i], narrow[i])) return ExitCodeFor(FailureReason::kUnknown);
    if (i >= 2) parts[i - 2] = narrow[i];
  }
  return pdf::JoinParts(parts, count - 2, pages, narrow[1]) ? kConverted
                                                            : ExitCodeFor(FailureReason::kUnknown);
}

int ConvertRange(const char16_t* const* arguments) {
  PageRange range = {};
  if (!ReadNumber(arguments[0], &range.first) || !ReadNumber(arguments[1], &range.last) ||
      range.first == 0 || (range.last != 0 && range.last < range.first)) {
    return kUsage;
  }
  if (!LoadGsApi()) return kNoGhostscript;
  FailureReason reason = FailureReason::kUnknown;
  return ConvertPageRange(arguments[2], arguments[3], range, &reason) ? kConverted
                                                                      : ExitCodeFor(reason);
}

}  // namespace

int Run(int count, const char16_t* const* arguments) {
  // A crash must end the worker at once, quietly: the plug-in reports it.
  os::SuppressCrashReports();
  if (count == 5 && Is(arguments[0], kWholeUnlessArgument)) {
    return ConvertWholeUnlessLong(arguments + 1);
  }
  if (count == 5 && Is(arguments[0], kRangeArgument)) return ConvertRange(arguments + 1);
  if (count >= 4 && count <= kMostArguments && Is(arguments[0], kJoinArgument)) {
    return Join(count - 1, arguments + 1);
  }
  if (count == 1 && Is(arguments[0], kCheckArgument)) {
    // The Ghostscript library beside this program, found as the plug-in finds the one beside it.
    return LoadGsApi() ? kConverted : kNoGhostscript;
  }
  if (count != 2) return kUsage;
  return ConvertWhole(arguments[0], arguments[1]);
}

}  // namespace quillmend::worker
