#include "measure.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace quillmend::bench {

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A name that no other file of this run has.
std::filesystem::path FreshName(const std::filesystem::path& directory, const char* prefix) {
  static unsigned counter = 0;
  return directory /
         (std::string(prefix) + std::to_string(getpid()) + "-" + std::to_string(++counter));
}

bool WriteAll(int file, const std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t written = write(file, bytes, count);
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

bool ReadAll(int file, std::uint8_t* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t got = read(file, bytes, count);
    if (got <= 0) return false;
    bytes += got;
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

bool WriteNewFile(const std::filesystem::path& path, const Item& item) {
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (file < 0) return false;
  const bool written = WriteAll(file, item.bytes, static_cast<std::size_t>(item.size));
  return close(file) == 0 && written;
}

double Fail(std::string* error, const std::string& reason) {
  *error = reason;
  return -1;
}

}  // namespace

bool BindStandin(const std::filesystem::path& library, Standin* standin, std::string* error) {
  void* loaded = host_emulator::LoadLibraryAt(library, error);
  using host_emulator::Bind;
  return loaded != nullptr && Bind(loaded, "gsapi_new_instance", &standin->NewInstance, error) &&
         Bind(loaded, "gsapi_set_arg_encoding", &standin->SetArgEncoding, error) &&
         Bind(loaded, "gsapi_init_with_args", &standin->InitWithArgs, error) &&
         Bind(loaded, "gsapi_exit", &standin->Exit, error) &&
         Bind(loaded, "gsapi_delete_instance", &standin->DeleteInstance, error);
}

double TimeFloor(const Item& item, const std::filesystem::path& directory, std::string* error) {
  const std::filesystem::path path = FreshName(directory, "floor-");
  const Clock::time_point start = Clock::now();
  if (!WriteNewFile(path, item)) return Fail(error, "cannot write " + path.string());
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return Fail(error, "cannot open " + path.string());
  struct stat status;
  if (fstat(file, &status) != 0) return Fail(error, "cannot stat " + path.string());
  auto* block = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(status.st_size)));
  const bool read_back =
      block != nullptr && ReadAll(file, block, static_cast<std::size_t>(status.st_size));
  close(file);
  unlink(path.c_str());
  const double seconds = Seconds(start);
  std::free(block);
  if (!read_back) return Fail(error, "cannot read back " + path.string());
  return seconds;
}

double TimeStandin(const Standin& standin, const Item& item, const std::filesystem::path& directory,
                   std::string* error) {
  const std::filesystem::path input = FreshName(directory, "standin-in-");
  const std::filesystem::path output = FreshName(directory, "standin-out-");
  // As in a view: the output file exists empty, and the input was written just before the run,
  // so it is still in the page cache.
  if (!WriteNewFile(output, Item{item.bytes, 0}) || !WriteNewFile(input, item)) {
    unlink(output.c_str());
    return Fail(error, "cannot create the stand-in's files in " + directory.string());
  }

  const std::string input_argument = input.string();
  const std::string output_argument = output.string();
  const char* arguments[] = {
      "1337",
      "-sDEVICE=pdfwrite",
      "-dNoOutputFonts",
      "-dCompatibilityLevel=1.5",
      "-r150",
      "-dQUIET",
      "-dSAFER",
      "-o",
      output_argument.c_str(),
      input_argument.c_str(),
  };
  const Clock::time_point start = Clock::now();
  void* instance = nullptr;
  bool converted = standin.NewInstance(&instance, nullptr) == 0 &&
                   standin.SetArgEncoding(instance, 1) == 0 &&
                   standin.InitWithArgs(instance, 10, const_cast<char**>(arguments)) == 0;
  if (standin.Exit(instance) != 0) converted = false;
  standin.DeleteInstance(instance);
  const double seconds = Seconds(start);

  struct stat status;
  const bool complete = stat(output.c_str(), &status) == 0 && status.st_size == item.size;
  unlink(input.c_str());
  unlink(output.c_str());
  if (!converted || !complete) return Fail(error, "the stand-in did not copy its input");
  return seconds;
}

double TimeView(const Plugin& plugin, const Item& item, std::string* error) {
  std::int64_t size = 0;
  const Clock::time_point start = Clock::now();
  void* result = plugin.View(const_cast<Item*>(&item), 0, nullptr, nullptr, nullptr, &size);
  const double seconds = Seconds(start);
  const bool same = result != nullptr && size == item.size &&
                    std::memcmp(result, item.bytes, static_cast<std::size_t>(size)) == 0;
  plugin.ReleaseMem(result);
  if (!same) return Fail(error, "XT_View answered " + std::to_string(size) + ", not the item");
  return seconds;
}

}  // namespace quillmend::bench
