// Writing an output document so that it appears whole or not at all: the bytes go to a
// temporary file in the output's folder, which is then renamed into place.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace xtview {

// False with the reason in `error`; then neither the output nor a temporary file is left, and
// an existing output is untouched. Without `replace`, an existing output is refused. `landed`,
// when given, is called once the output is in place, before an interrupt can end the program.
bool WriteOutputFile(const std::filesystem::path& output, const std::uint8_t* bytes,
                     std::uint64_t size, bool replace, std::string* error,
                     const std::function<void()>& landed = {});

// For an interrupt: deletes the temporary files of writes in progress. No output lands after it
// (those writes never return), and every output that did has had its `landed` call.
void AbandonOutputFiles();

// The same write as WriteOutputFile for the file written last, the report, which may follow
// AbandonOutputFiles.
bool WriteLastFile(const std::filesystem::path& file, const std::uint8_t* bytes, std::uint64_t size,
                   bool replace, std::string* error);

}  // namespace xtview
