// On Windows the plug-in names its temporary files with GetTempFileNameW, which fails only once
// all 65535 names of the prefix exist in the folder. Under Wine it cannot be made to fail that
// way: Wine's GetTempFileNameW, having found every name taken, still answers with a non-zero
// number and the last name it tried, and a folder path too long for the name makes it cut the
// name short instead of failing. Nor has Windows a per-process file size limit that would make
// the staging write fail. Both tests run natively only.
#include "fault_seams.h"

namespace quillmend::test {

TempFileCreationFailure::TempFileCreationFailure(const std::filesystem::path& temp, int) {
  directory = temp;
  unavailable = "no way to make GetTempFileNameW fail under Wine (see fault_seams_win.cpp)";
}

TempFileCreationFailure::~TempFileCreationFailure() {}

FileSizeLimit::FileSizeLimit(std::uint64_t) {
  unavailable = "Windows has no per-process file size limit to make a write fail";
}

FileSizeLimit::~FileSizeLimit() {}

}  // namespace quillmend::test
