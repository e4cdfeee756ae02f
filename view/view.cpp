// XT_View and XT_ReleaseMem. A request owns two temporary files, a staging block and the result
// block; all but the result are released before XT_View returns, whichever way it returns. A
// document converted before is copied from the cache instead, without files or Ghostscript.
#include "view.h"

#include <cstring>
#include <limits>

#include "document_cache.h"
#include "failure_report.h"
#include "ghostscript/ghostscript.h"
#include "host/host_api.h"
#include "host/message_line.h"
#include "isolation.h"
#include "platform/platform.h"
#include "plugin/quillmend.h"
#include "scope_exit.h"

namespace quillmend {

namespace {

// Ghostscript runs any input as a PostScript program unless it finds the PDF header "%PDF-"; an
// item that begins "%PDF" with anything else after it would be executed, not converted. So the
// first five bytes must be exactly the PDF header.
constexpr char kPdfHeader[] = "%PDF-";
constexpr std::uint32_t kPdfHeaderLength = sizeof(kPdfHeader) - 1;

constexpr char16_t kFolderLeftPrefix[] =
    u"[WARNING] The plug-in could not remove its temporary folder ";
constexpr char16_t kFolderLeftSuffix[] =
    u", which may hold a copy of the item. Delete it once no program uses it.";

constexpr std::int64_t kLargestSingleTransfer = std::numeric_limits<std::uint32_t>::max();

bool StartsWithPdfHeader(void* item) {
  std::uint8_t header[kPdfHeaderLength + 1] = {};
  if (HostApi.Read(item, 0, header, kPdfHeaderLength) != kPdfHeaderLength) return false;
  return std::memcmp(header, kPdfHeader, sizeof(header)) == 0;
}

// Creates the request's two temporary files in `directory`: the input first, then the output. On
// failure no file of the request is left.
bool CreateTempFiles(const char16_t* directory, char16_t* input, char16_t* output) {
  if (!os::CreateTempFile(directory, kTempFilePrefix, input)) return false;
  if (!os::CreateTempFile(directory, kTempFilePrefix, output)) {
    os::DeleteFileAt(input);
    return false;
  }
  return true;
}

// Reads the whole item into a new block with one host read. Null on failure.
void* ReadItem(void* item, std::uint32_t size) {
  void* block = os::AllocateBlock(size);
  if (block == nullptr) return nullptr;
  if (HostApi.Read(item, 0, static_cast<std::uint8_t*>(block), size) == size) return block;
  os::FreeBlock(block);
  return nullptr;
}

bool WriteWholeFile(const char16_t* path, const void* bytes, std::uint32_t size) {
  const os::FileHandle file = os::OpenFileForWriting(path);
  if (file == os::kNoFile) return false;
  ScopeExit close_file([file] { os::CloseFile(file); });
  std::uint32_t written = 0;
  return os::WriteBlock(file, bytes, size, &written) && written == size;
}

// Creates the request's two temporary files in `directory` and writes the item's bytes into the
// input. The bytes' block is freed either way, so the item is not held in memory while
// Ghostscript runs. On failure no file of the request is left.
bool StageItem(void* bytes, std::uint32_t size, const char16_t* directory, char16_t* input,
               char16_t* output) {
  ScopeExit free_bytes([bytes] { os::FreeBlock(bytes); });
  if (!CreateTempFiles(directory, input, output)) return false;
  if (WriteWholeFile(input, bytes, size)) return true;
  os::DeleteFileAt(input);
  os::DeleteFileAt(output);
  return false;
}

// Removes the request's own folder, and tells the examiner where it stays when it cannot.
void RemoveRequestFolder(const char16_t* folder) {
  if (os::RemovePrivateDirectory(folder)) return;
  MessageLine<sizeof(kFolderLeftPrefix) / 2 + os::kPathCapacity + sizeof(kFolderLeftSuffix) / 2>
      message;
  message.Add(kFolderLeftPrefix);
  message.Add(folder);
  message.Add(kFolderLeftSuffix);
  HostApi.OutputMessage(message.text, kNoticeFlags);
}

// Reads the converted document into a new block and deletes its file. The block belongs to the
// host from here on; null on failure.
void* TakeConvertedFile(const char16_t* output, std::uint32_t* length) {
  ScopeExit delete_output([output] { os::DeleteFileAt(output); });
  const os::FileHandle file = os::OpenFileForReading(output);
  if (file == os::kNoFile) return nullptr;
  ScopeExit close_file([file] { os::CloseFile(file); });

  // A document that does not fit one 32-bit read cannot be returned whole: refuse it rather
  // than hand back a truncated copy.
  std::uint64_t size = 0;
  if (!os::GetFileSize(file, &size) || size > kLargestSingleTransfer) return nullptr;
  const auto expected = static_cast<std::uint32_t>(size);

  void* buffer = os::AllocateBlock(expected);
  if (buffer == nullptr) return nullptr;
  std::uint32_t read = 0;
  if (!os::ReadBlock(file, buffer, expected, &read) || read != expected) {
    os::FreeBlock(buffer);
    return nullptr;
  }
  *length = read;
  return buffer;
}

}  // namespace

}  // namespace quillmend

extern "C" void* XT_View(void* hItem, std::int32_t, void*, void*, void*, std::int64_t* lpResSize) {
  using namespace quillmend;
  // The host's result slot is the only way to answer; without it there is nothing safe to do.
  if (lpResSize == nullptr) return nullptr;
  *lpResSize = kItemNotTaken;
  if (!HostApiIsBound() || !GsApiIsBound()) return nullptr;

  const std::int64_t size = HostApi.GetSize(hItem, reinterpret_cast<void*>(1));
  if (size < kMinimumItemSize) return nullptr;
  if (!StartsWithPdfHeader(hItem)) return nullptr;
  *lpResSize = kConversionFailed;

  // The item is read with a single 32-bit host read: a larger one cannot be staged.
  if (size > kLargestSingleTransfer) return nullptr;

  const auto item_size = static_cast<std::uint32_t>(size);
  void* bytes = ReadItem(hItem, item_size);
  if (bytes == nullptr) return nullptr;

  // Bytes seen before are answered from the cache, with no file created and no conversion.
  DocumentKey key{};
  const bool keyed = CacheIsOn() && os::ComputeSha256(bytes, item_size, key.digest);
  if (keyed) {
    std::uint32_t cached_length = 0;
    if (void* cached = CopyCachedDocument(key, &cached_length)) {
      os::FreeBlock(bytes);
      *lpResSize = cached_length;
      return cached;
    }
  }

  // From here on a failure is told to the examiner with its reason.
  const bool isolated = IsolationIsOn();
  char16_t directory[os::kPathCapacity];
  if (!os::GetTempDirectory(directory, os::kPathCapacity)) {
    os::FreeBlock(bytes);
    ReportConversionFailure(FailureReason::kTempDirectory, isolated);
    return nullptr;
  }
  // In the separate-process mode the request's files lie in a folder of its own, which is the
  // worker's temporary directory too and goes whole, with whatever Ghostscript left there.
  char16_t folder[os::kPathCapacity];
  if (isolated && !os::CreatePrivateDirectory(directory, kTempFilePrefix, folder)) {
    os::FreeBlock(bytes);
    ReportConversionFailure(FailureReason::kTempDirectory, isolated);
    return nullptr;
  }
  ScopeExit remove_folder([isolated, &folder] {
    if (isolated) RemoveRequestFolder(folder);
  });

  char16_t input[os::kPathCapacity];
  char16_t output[os::kPathCapacity];
  if (!StageItem(bytes, item_size, isolated ? folder : directory, input, output)) {
    ReportConversionFailure(FailureReason::kTempDirectory, isolated);
    return nullptr;
  }
  // Either conversion consumes the input file.
  FailureReason reason = FailureReason::kUnknown;
  const bool converted = isolated ? ConvertInWorker(input, output, folder, &reason)
                                  : ConvertWithGhostscript(input, output, &reason);
  if (!converted) {
    ReportConversionFailure(reason, isolated);
    os::DeleteFileAt(output);
    return nullptr;
  }
  std::uint32_t length = 0;
  void* buffer = TakeConvertedFile(output, &length);
  if (buffer == nullptr) return nullptr;
  if (keyed) CacheDocument(key, buffer, length);
  *lpResSize = length;
  return buffer;
}

extern "C" std::int32_t XT_ReleaseMem(void* lpBuffer) {
  if (lpBuffer == nullptr) return 0;
  quillmend::os::FreeBlock(lpBuffer);
  return 1;
}
