// A stand-in for Ghostscript's shared library, built under the real library's file name so that
// the plug-in loads it exactly as it would load Ghostscript. It lets tests force each of
// Ghostscript's failures and see the calls the plug-in makes.
//
// Behaviour comes from the environment at every call, so that tests in the same process and
// programs started by a test can both steer it:
//   QUILLMEND_STANDIN      comma-separated words:
//                            fail-new       gsapi_new_instance fails and leaves the handle null
//                            fail-encoding  gsapi_set_arg_encoding fails
//                            fail-init      gsapi_init_with_args fails, after doing its
//                                           share of the work: the files are named and, when
//                                           the input comes with the arguments, copied
//                            fail-remove    gsapi_remove_control_path fails
//                            fail-run       gsapi_run_file fails
//                            fail-range     gsapi_run_file fails for a page range
//                                           (-dFirstPage); a range otherwise copies the whole
//                                           input and counts its last - first + 1 pages
//                            fail-run-after-pages  gsapi_run_file fails once the document is
//                                           copied and its page counted: an error part-way
//                                           through a document, or a failed write of it
//                            fail-param     gsapi_get_param fails, though it writes the count
//                            no-pages       the device received no page: what Ghostscript
//                                           reports for a document it could not open
//                            fail-exit      gsapi_exit fails
//                            empty-output   the output file is left empty
//                            no-output      the output file is removed
//                            sleep          each conversion takes about 50 ms
//                            hold-input     the input stays open from the moment the document
//                                           runs until gsapi_exit, as Ghostscript keeps it
//                            input-readable gsapi_run_string finds the staged input readable:
//                                           what the interpreter answers while a permit on it
//                                           remains
//                            fail-random    each conversion fails at one step drawn at random,
//                                           or at none: creation, encoding, init or exit fails,
//                                           or the output file is removed. The draws follow
//                                           QUILLMEND_STANDIN_SEED (a number, default 0).
//                            crash          the conversion crashes the process (a write through
//                                           a null pointer)
//                            abort          the conversion aborts the process
//                            loop           the conversion never ends (a busy loop)
//                            hang           the conversion never ends (asleep, using no
//                                           processor time)
//                            flood          the conversion writes to the output without end,
//                                           a MiB a millisecond, until a write fails ("flood
//                                           refused after N MiB"; it stops by itself at 256 MiB:
//                                           "flood never refused")
//                            hog            the conversion reserves memory without end, 64 MiB
//                                           at a time and untouched, until the system refuses
//                                           ("hog refused after N MiB", and on its console a
//                                           VMerror as Ghostscript's; it stops by itself at
//                                           64 GiB: "hog never refused")
//                            spawn          the conversion starts a process that idles until
//                                           killed ("spawned ID") or is refused ("spawn
//                                           refused"), then fails
//                            scratch-flood  the conversion writes scratch files of 512 KiB
//                                           into its temporary directory (TMPDIR, else TEMP),
//                                           one a millisecond, until a write fails ("scratch
//                                           refused after N files"; it stops by itself after
//                                           256: "scratch never refused"), then fails
//                            late-output    the conversion succeeds, and its output then grows
//                                           by 3 MiB in one write just before it returns, as
//                                           pdfwrite writes most of a document at its close
//                            scratch-folder the conversion succeeds, leaving a folder "kept" in
//                                           its temporary directory
//                          Each of these logs "pid ID" first, the id of the process it runs in.
//                          Otherwise a conversion copies the input file to the output file: at
//                          gsapi_init_with_args when its last two arguments are "OUTPUT INPUT",
//                          at gsapi_run_file when they are "-o OUTPUT".
//   Where a variable is unset or empty, a line "NAME=VALUE" of the file standin-control beside
//   the library gives it: for a copy loaded by a program whose environment the test cannot set.
//   QUILLMEND_STANDIN_PRODUCT  the product name gsapi_revision gives (default GPL Ghostscript)
//   QUILLMEND_STANDIN_LOG  a file to which each call appends a line:
//                            new | alive N | encoding N | init ARGC | arg I VALUE |
//                            remove TYPE PATH | string TEXT | run PATH | modes INPUT OUTPUT |
//                            param NAME | exit | delete
//                          "alive N" follows each instance made: N instances exist at once.
//                          "modes" gives the two files' permission bits in octal when the
//                          document runs (POSIX only).
//                          "input still there" before "exit" when the input file exists then,
//                          and, for each failure that fail-random forces, "forced STEP" with
//                          STEP one of new, encoding, init, exit, no-output.
//
// Built with STANDIN_WITHOUT_EXIT, STANDIN_WITHOUT_ENCODING, STANDIN_WITHOUT_CONTROL_PATHS or
// STANDIN_WITHOUT_GET_PARAM, the library lacks gsapi_exit, gsapi_set_arg_encoding,
// gsapi_remove_control_path or gsapi_get_param.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "standin_platform.h"

namespace {

constexpr int kFatal = -100;
constexpr int kQuit = -101;

// The step at which fail-random makes a conversion fail.
enum class Forced { kNone, kNew, kEncoding, kInit, kExit, kNoOutput };

using ConsoleOutput = int (*)(void* caller, const char* text, int length);

struct Instance {
  int encoding = 0;  // 0: the platform's default encoding; 1: UTF-8
  Forced forced = Forced::kNone;
  std::string input;
  std::string output;
  int pages = 0;
  int range_pages = 1;          // what a success counts: -dLastPage - -dFirstPage + 1, or 1
  bool range = false;           // -dFirstPage was given
  std::FILE* held = nullptr;    // the input, kept open under hold-input
  void* caller = nullptr;       // the caller handle gsapi_new_instance got
  ConsoleOutput out = nullptr;  // gsapi_set_stdio's, if it was called
};

// Writes `text` to the instance's console: where gsapi_set_stdio sent it, else standard output.
void Say(const Instance& instance, const std::string& text) {
  if (instance.out != nullptr) {
    instance.out(instance.caller, text.data(), static_cast<int>(text.size()));
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
}

std::atomic<int> alive{0};

// The variable from the environment, else from the control file beside the library.
std::string Setting(const char* name) {
  const std::string value = standin::GetEnvironment(name);
  if (!value.empty()) return value;
  const std::string text = standin::ControlFileText();
  const std::string prefix = std::string(name) + "=";
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
    start = end + 1;
  }
  return std::string();
}

bool Has(const char* word) {
  const std::string words = Setting("QUILLMEND_STANDIN");
  const std::size_t length = std::strlen(word);
  for (std::size_t start = 0; start <= words.size();) {
    std::size_t end = words.find(',', start);
    if (end == std::string::npos) end = words.size();
    if (end - start == length && words.compare(start, length, word) == 0) return true;
    start = end + 1;
  }
  return false;
}

void Log(const std::string& line) {
  const std::string path = Setting("QUILLMEND_STANDIN_LOG");
  if (path.empty()) return;
  // Conversions in several threads and worker processes log whole lines to one file.
  standin::AppendLine(path.c_str(), line + "\n");
}

// The next fail-random draw: four conversions in nine run clean, the others fail at one step.
// Concurrent conversions take distinct draws; the sequence depends only on the seed.
Forced DrawFailure() {
  static std::atomic<unsigned long long> draws{0};
  unsigned long long x =
      std::strtoull(standin::GetEnvironment("QUILLMEND_STANDIN_SEED").c_str(), nullptr, 10) +
      0x9E3779B97F4A7C15ULL * ++draws;
  // splitmix64's finaliser
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  x ^= x >> 31;
  constexpr Forced kDraws[] = {Forced::kNone, Forced::kNone,     Forced::kNone,
                               Forced::kNew,  Forced::kEncoding, Forced::kInit,
                               Forced::kExit, Forced::kNoOutput, Forced::kNone};
  return kDraws[x % (sizeof(kDraws) / sizeof(kDraws[0]))];
}

// True when fail-random chose `step` for this instance; logs the forced failure.
bool ForcedAt(const void* instance, Forced step, const char* name) {
  if (instance == nullptr || static_cast<const Instance*>(instance)->forced != step) return false;
  Log(std::string("forced ") + name);
  return true;
}

bool Copy(const Instance& instance, const char* input, const char* output) {
  if (Has("sleep")) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::FILE* in = standin::OpenArgumentPath(input, "rb", instance.encoding);
  if (in == nullptr) return false;
  std::string bytes;
  char chunk[65536];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof(chunk), in)) > 0;) {
    bytes.append(chunk, got);
  }
  std::fclose(in);
  if (Has("no-output") || ForcedAt(&instance, Forced::kNoOutput, "no-output")) {
    return standin::RemoveArgumentPath(output, instance.encoding);
  }
  std::FILE* out = standin::OpenArgumentPath(output, "wb", instance.encoding);
  if (out == nullptr) return false;
  const bool copy = !Has("empty-output");
  const bool written = !copy || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && written;
}

// The document starts to run: Ghostscript opens it, and may hold it until the instance exits.
void OpenInput(Instance* instance) {
  const std::string input = standin::PermissionBits(instance->input.c_str());
  if (!input.empty()) {
    Log("modes " + input + " " + standin::PermissionBits(instance->output.c_str()));
  }
  if (Has("hold-input") && instance->held == nullptr) {
    instance->held = standin::OpenArgumentPath(instance->input.c_str(), "rb", instance->encoding);
  }
}

void Release(Instance* instance) {
  if (instance->held != nullptr) std::fclose(instance->held);
  instance->held = nullptr;
}

// The output name is a page-number format, in which "%%" stands for "%".
std::string OutputFileName(const char* format) {
  std::string name;
  for (const char* c = format; *c != '\0'; ++c) {
    name += *c;
    if (c[0] == '%' && c[1] == '%') ++c;
  }
  return name;
}

constexpr std::size_t kMiB = 1 << 20;

// Writes to the output until a write fails.
void Flood(const Instance& instance) {
  std::FILE* out = standin::OpenArgumentPath(instance.output.c_str(), "wb", instance.encoding);
  if (out == nullptr) return;
  constexpr std::size_t kMostMiB = 256;
  const std::string chunk(kMiB, 'x');
  std::size_t mib = 0;
  // A millisecond a MiB: a caller that watches the size between waits of 100 ms sees it grow.
  for (; mib < kMostMiB; ++mib) {
    if (std::fwrite(chunk.data(), 1, chunk.size(), out) != chunk.size() || std::fflush(out) != 0) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::fclose(out);
  Log(mib < kMostMiB ? "flood refused after " + std::to_string(mib) + " MiB"
                     : std::string("flood never refused"));
}

// Reserves memory until the system refuses.
void Hog(const Instance& instance) {
  constexpr std::size_t kStep = 64 * kMiB;
  constexpr std::size_t kMostSteps = 1024;
  static void* blocks[kMostSteps];
  std::size_t steps = 0;
  for (; steps < kMostSteps; ++steps) {
    blocks[steps] = std::malloc(kStep);
    if (blocks[steps] == nullptr) break;
  }
  Log(steps < kMostSteps ? "hog refused after " + std::to_string(steps * 64) + " MiB"
                         : std::string("hog never refused"));
  // As Ghostscript reports memory it cannot have, split over two writes.
  if (steps < kMostSteps) {
    Say(instance, "Error: /VM");
    Say(instance, "error in --hog--\n");
  }
  for (std::size_t i = 0; i < steps; ++i) std::free(blocks[i]);
}

// The conversion's temporary directory, as Ghostscript looks for it.
std::filesystem::path TempDirectory() {
  std::string folder = standin::GetEnvironment("TMPDIR");
  if (folder.empty()) folder = standin::GetEnvironment("TEMP");
  return std::filesystem::path(folder);
}

// Writes scratch files into the temporary directory until a write fails.
void FloodScratch() {
  constexpr int kMostFiles = 256;
  const std::string chunk(kMiB / 2, 's');
  int files = 0;
  for (; files < kMostFiles; ++files) {
    const std::string name = (TempDirectory() / ("_scratch" + std::to_string(files))).string();
    std::FILE* out = std::fopen(name.c_str(), "wb");
    if (out == nullptr) break;
    const bool written = std::fwrite(chunk.data(), 1, chunk.size(), out) == chunk.size();
    if (std::fclose(out) != 0 || !written) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  Log(files < kMostFiles ? "scratch refused after " + std::to_string(files) + " files"
                         : std::string("scratch never refused"));
}

// Adds 3 MiB to the output in one write.
bool GrowOutputAtOnce(const Instance& instance) {
  std::FILE* out = standin::OpenArgumentPath(instance.output.c_str(), "ab", instance.encoding);
  if (out == nullptr) return false;
  const std::string bytes(3 * kMiB, 'o');
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && written;
}

// The ways a document can make Ghostscript misbehave: true when one was asked for (if it returns
// at all); the conversion then fails.
bool Misbehave(const Instance& instance) {
  const char* const kModes[] = {"crash", "abort", "loop",          "hang",
                                "flood", "hog",   "scratch-flood", "spawn"};
  bool any = false;
  for (const char* mode : kModes) any = any || Has(mode);
  if (!any) return false;
  Log("pid " + std::to_string(standin::ProcessId()));
  if (Has("crash")) {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
  if (Has("abort")) std::abort();
  if (Has("loop")) {
    volatile unsigned long spin = 0;
    for (;;) spin = spin + 1;
  }
  while (Has("hang")) std::this_thread::sleep_for(std::chrono::seconds(1));
  if (Has("flood")) Flood(instance);
  if (Has("hog")) Hog(instance);
  if (Has("scratch-flood")) FloodScratch();
  if (Has("spawn")) {
    long id = 0;
    Log(standin::StartIdleProcess(&id) ? "spawned " + std::to_string(id)
                                       : std::string("spawn refused"));
  }
  return true;
}

// One conversion of the instance's input into its output; a success counts one page.
bool Convert(Instance* instance) {
  if (Misbehave(*instance)) return false;
  if (!Copy(*instance, instance->input.c_str(), instance->output.c_str())) return false;
  if (Has("late-output")) {
    Log("pid " + std::to_string(standin::ProcessId()));
    if (!GrowOutputAtOnce(*instance)) return false;
  }
  if (Has("scratch-folder")) {
    std::error_code error;
    std::filesystem::create_directory(TempDirectory() / "kept", error);
  }
  instance->pages = instance->range_pages;
  return true;
}

}  // namespace

extern "C" {

STANDIN_EXPORT int gsapi_new_instance(void** instance, void* caller) {
  Log("new");
  const Forced forced = Has("fail-random") ? DrawFailure() : Forced::kNone;
  if (forced == Forced::kNew) Log("forced new");
  if (Has("fail-new") || forced == Forced::kNew) {
    *instance = nullptr;
    return kFatal;
  }
  *instance = new Instance{0, forced, {}, {}, 0, 1, false, nullptr, caller, nullptr};
  Log("alive " + std::to_string(++alive));
  return 0;
}

STANDIN_EXPORT int gsapi_set_stdio(void* instance, int (*)(void*, char*, int), ConsoleOutput out,
                                   ConsoleOutput) {
  if (instance == nullptr) return kFatal;
  static_cast<Instance*>(instance)->out = out;
  return 0;
}

#ifndef STANDIN_WITHOUT_ENCODING
STANDIN_EXPORT int gsapi_set_arg_encoding(void* instance, int encoding) {
  Log("encoding " + std::to_string(encoding));
  if (instance == nullptr || Has("fail-encoding") ||
      ForcedAt(instance, Forced::kEncoding, "encoding")) {
    return kFatal;
  }
  static_cast<Instance*>(instance)->encoding = encoding;
  return 0;
}
#endif

STANDIN_EXPORT int gsapi_init_with_args(void* instance, int argc, char** argv) {
  Log("init " + std::to_string(argc));
  for (int i = 0; i < argc; ++i) Log("arg " + std::to_string(i) + " " + argv[i]);
  if (instance == nullptr || argc < 2 || ForcedAt(instance, Forced::kInit, "init")) {
    return kFatal;
  }
  auto* state = static_cast<Instance*>(instance);
  int first = 0;
  int last = 0;
  for (int i = 0; i < argc; ++i) {
    std::sscanf(argv[i], "-dFirstPage=%d", &first);
    std::sscanf(argv[i], "-dLastPage=%d", &last);
  }
  state->range = first > 0;
  if (first > 0 && last >= first) state->range_pages = last - first + 1;
  // Under fail-init the call first does what it would, so that only its result tells.
  const int result = Has("fail-init") ? kFatal : 0;
  // "-o OUTPUT": the document comes through gsapi_run_file.
  if (std::strcmp(argv[argc - 2], "-o") == 0) {
    state->output = OutputFileName(argv[argc - 1]);
    return result;
  }
  // "-o OUTPUT INPUT": the last two arguments name the files.
  state->input = argv[argc - 1];
  state->output = OutputFileName(argv[argc - 2]);
  OpenInput(state);
  return Convert(state) ? result : kFatal;
}

STANDIN_EXPORT int gsapi_run_file(void* instance, const char* file_name, int, int* exit_code) {
  Log(std::string("run ") + file_name);
  *exit_code = 0;
  auto* state = static_cast<Instance*>(instance);
  if (state == nullptr || state->output.empty()) return kFatal;
  state->input = file_name;
  OpenInput(state);
  if (Has("fail-run") || (state->range && Has("fail-range"))) return kFatal;
  if (!Convert(state)) return kFatal;
  return Has("fail-run-after-pages") ? kFatal : 0;
}

STANDIN_EXPORT int gsapi_run_string(void* instance, const char* text, int, int* exit_code) {
  Log(std::string("string ") + text);
  *exit_code = 0;
  if (instance == nullptr) return kFatal;
  return Has("input-readable") ? kQuit : 0;
}

struct Revision {
  const char* product;
  const char* copyright;
  long revision;  // NOLINT(google-runtime-int): Ghostscript's layout
  long date;      // NOLINT(google-runtime-int)
};

// The product name as a string that lives as long as the library. Every name given is kept, so
// that one handed out stays valid while another thread asks for another. Not thread-local: the
// AddressSanitizer of GCC 12 guesses the bounds of a dlopen'ed library's thread-local block from
// the 16 bytes before it when the block starts 16 bytes past a page boundary, which under glibc
// 2.34 and later is heap data, and LeakSanitizer then crashes scanning the bounds it guessed. The
// heap's layout, and so the failure, changed with the length of the folder the tests ran in.
namespace {
const char* KeptProduct(std::string product) {
  static std::mutex lock;
  static std::set<std::string>* kept = new std::set<std::string>;
  const std::lock_guard<std::mutex> hold(lock);
  return kept->insert(std::move(product)).first->c_str();
}
}  // namespace

// Ghostscript 10.0.0's revision, under the product name QUILLMEND_STANDIN_PRODUCT (default
// Ghostscript's own), which names the registry key the plug-in reads for it: a test can give
// its stand-in a key of its own.
STANDIN_EXPORT int gsapi_revision(void* revision, int size) {
  if (size < static_cast<int>(sizeof(Revision))) return static_cast<int>(sizeof(Revision));
  std::string product = standin::GetEnvironment("QUILLMEND_STANDIN_PRODUCT");
  if (product.empty()) product = "GPL Ghostscript";
  *static_cast<Revision*>(revision) =
      Revision{KeptProduct(std::move(product)), "stand-in", 10000, 20220921};
  return 0;
}

#ifndef STANDIN_WITHOUT_CONTROL_PATHS
STANDIN_EXPORT int gsapi_remove_control_path(void* instance, int type, const char* path) {
  Log("remove " + std::to_string(type) + " " + path);
  return instance == nullptr || Has("fail-remove") ? kFatal : 0;
}
#endif

#ifndef STANDIN_WITHOUT_GET_PARAM
STANDIN_EXPORT int gsapi_get_param(void* instance, const char* name, void* value, int type) {
  Log(std::string("param ") + name);
  constexpr int kIntType = 2;
  constexpr int kUndefined = -21;
  if (instance == nullptr) return kFatal;
  if (std::strcmp(name, "PageCount") != 0 || type != kIntType) return kUndefined;
  *static_cast<int*>(value) = Has("no-pages") ? 0 : static_cast<Instance*>(instance)->pages;
  // Under fail-param the count is written all the same, so that only the result tells.
  return Has("fail-param") ? kFatal : static_cast<int>(sizeof(int));
}
#endif

#ifndef STANDIN_WITHOUT_EXIT
STANDIN_EXPORT int gsapi_exit(void* instance) {
  auto* state = static_cast<Instance*>(instance);
  if (state != nullptr && !state->input.empty()) {
    if (std::FILE* input = standin::OpenArgumentPath(state->input.c_str(), "rb", state->encoding)) {
      std::fclose(input);
      Log("input still there");
    }
    Release(state);
  }
  Log("exit");
  if (instance == nullptr || Has("fail-exit") || ForcedAt(instance, Forced::kExit, "exit")) {
    return kFatal;
  }
  return 0;
}
#endif

STANDIN_EXPORT void gsapi_delete_instance(void* instance) {
  Log("delete");
  if (instance == nullptr) return;
  Release(static_cast<Instance*>(instance));
  --alive;
  delete static_cast<Instance*>(instance);
}

}  // extern "C"
