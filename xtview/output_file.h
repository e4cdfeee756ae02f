// Writing an output document so that it appears whole or not at all: the bytes go to a
// temporary file in the output's folder, which is then renamed into place.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace xtview {

// False with the reason in `error`; then neither the output nor a temporary file is left, and
// an existing output is untouched. Without `replace`, an existing output is refused.
bool WriteOutputFile(const std::filesystem::path& output, const std::uint8_t* bytes,
                     std::uint64_t size, bool replace, std::string* error);

// For an interrupt: deletes the temporary files of writes in progress and ends the process
// with the interrupted exit code. No write starts after it has begun.
[[noreturn]] void AbandonOutputFiles();

}  // namespace xtview
