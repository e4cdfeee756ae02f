// The check that a document cannot read its own staged file, timed with the real Ghostscript:
// each round starts an instance as a view does (the nine arguments, the withdrawal of the
// temporary directory's permits) and times the check alone, which every view adds.
//
// Usage: quillmend_confinement_check [ROUNDS]
// Prints the median and the largest time of the check in microseconds, and PASS when the median
// stays under a millisecond (MISS otherwise).
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ghostscript/confinement_check.h"
#include "ghostscript/ghostscript.h"
#include "ghostscript/temp_permits.h"

namespace {

using Clock = std::chrono::steady_clock;
using quillmend::GsApi;

template <typename Function>
bool Bind(void* library, const char* name, Function* field) {
  *field = reinterpret_cast<Function>(dlsym(library, name));
  return *field != nullptr;
}

bool BindGhostscript() {
  void* library = dlopen(QUILLMEND_GHOSTSCRIPT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  return library != nullptr && Bind(library, "gsapi_new_instance", &GsApi.NewInstance) &&
         Bind(library, "gsapi_set_arg_encoding", &GsApi.SetArgEncoding) &&
         Bind(library, "gsapi_init_with_args", &GsApi.InitWithArgs) &&
         Bind(library, "gsapi_remove_control_path", &GsApi.RemoveControlPath) &&
         Bind(library, "gsapi_run_string", &GsApi.RunString) &&
         Bind(library, "gsapi_exit", &GsApi.Exit) &&
         Bind(library, "gsapi_delete_instance", &GsApi.DeleteInstance);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  if (!BindGhostscript()) {
    std::fprintf(stderr, "cannot load %s: %s\n", QUILLMEND_GHOSTSCRIPT_LIBRARY, dlerror());
    return 2;
  }
  char folder[] = "/tmp/quillmend-check-XXXXXX";
  if (mkdtemp(folder) == nullptr) return 2;
  setenv("TMPDIR", folder, 1);
  const std::string input = std::string(folder) + "/QVTinput.tmp";
  std::string output = std::string(folder) + "/QVToutput.tmp";
  if (std::FILE* file = std::fopen(input.c_str(), "wb")) std::fclose(file);

  std::vector<double> micros;
  for (int round = 0; round < rounds; ++round) {
    void* instance = nullptr;
    if (GsApi.NewInstance(&instance, nullptr) != 0) return 2;
    GsApi.SetArgEncoding(instance, 1);
    const char* arguments[] = {
        "1337",        "-sDEVICE=pdfwrite", "-dNoOutputFonts", "-dCompatibilityLevel=1.5",
        "-r150",       "-dQUIET",           "-dSAFER",         "-o",
        output.c_str()};
    bool checked = false;
    if (GsApi.InitWithArgs(instance, 9, const_cast<char**>(arguments)) == 0 &&
        quillmend::WithdrawTempDirectoryPermits(instance)) {
      const Clock::time_point start = Clock::now();
      checked = quillmend::StagedInputIsOutOfReach(instance, input.c_str());
      micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    GsApi.Exit(instance);
    GsApi.DeleteInstance(instance);
    if (!checked) {
      std::fprintf(stderr, "round %d: the check did not pass\n", round);
      return 1;
    }
  }
  unlink(input.c_str());
  unlink(output.c_str());
  rmdir(folder);

  std::sort(micros.begin(), micros.end());
  const double median = micros[micros.size() / 2];
  std::printf("confinement check: median %.1f us, largest %.1f us over %d views: %s\n", median,
              micros.back(), rounds, median < 1000 ? "PASS" : "MISS");
  return 0;
}
