// Worker processes on POSIX: forked, bounded by resource limits between fork and exec (no other
// way sets them for another program), in a process group of their own that is killed whole.
#include <dirent.h>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/platform.h"
#include "utf16.h"

namespace quillmend::os {

const char16_t kWorkerProgramName[] = u"quillmend-convert";

struct Worker {
  pid_t pid;
  int pidfd;  // -1 where the kernel has no process descriptors: then waiting polls
};

namespace {

constexpr long kPollStepMs = 5;
constexpr int kGroupEndWaitMs = 1000;

// The filter that keeps the worker from starting a process, whoever runs it, the superuser too:
// fork, vfork and clone without CLONE_THREAD fail with EPERM. It lets threads through. clone3
// hides its flags from the filter, so it reports itself missing and the C library falls back to
// clone. Resource limits alone do not suffice: RLIMIT_NPROC does not bind the superuser.
#if defined(__x86_64__)
#define QUILLMEND_WORKER_FILTER 1
constexpr std::uint32_t kCloneThread = 0x00010000;  // CLONE_THREAD
sock_filter kNoNewProcesses[] = {
    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    // The x32 numbering would name the same calls under other numbers.
    BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000, 0, 1),
    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_fork, 6, 0),
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_vfork, 5, 0),
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone3, 5, 0),
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone, 1, 0),
    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
    BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kCloneThread, 2, 0),
    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EPERM & SECCOMP_RET_DATA)),
    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (ENOSYS & SECCOMP_RET_DATA)),
    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
};
#endif

void SetLimit(int resource, rlim_t value) {
  const rlimit limit = {value, value};
  setrlimit(resource, &limit);
}

// The child's side, between fork and exec: only calls that are safe there.
[[noreturn]] void BecomeWorker(char* const* argv, char* const* envp, const char* folder,
                               const WorkerLimits& limits) {
  setpgid(0, 0);
  // Its temporary directory is its working folder too: nothing it makes lands elsewhere.
  if (chdir(folder) != 0) _exit(127);
  // A worker whose caller is gone has nobody to report to.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  const int null = open("/dev/null", O_RDWR);
  if (null < 0) _exit(127);
  for (int stream = 0; stream < 3; ++stream) dup2(null, stream);
  // Nothing of the caller's is inherited: every descriptor past the standard streams closes.
  if (syscall(SYS_close_range, 3U, ~0U, 0U) != 0) {
    for (int fd = 3; fd < 65536; ++fd) close(fd);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  // A file past its limit must end the worker, not merely fail its write.
  signal(SIGXFSZ, SIG_DFL);
  SetLimit(RLIMIT_AS, limits.memory_bytes);
  SetLimit(RLIMIT_FSIZE, limits.file_bytes);
  SetLimit(RLIMIT_CPU, limits.cpu_seconds);
  SetLimit(RLIMIT_CORE, 0);
  // No new task for an ordinary user: no process, and no thread either, as threads count against
  // the real user like processes. Ghostscript's conversion starts no thread.
  SetLimit(RLIMIT_NPROC, 0);
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) _exit(kWorkerNotBoundedExitCode);
#ifdef QUILLMEND_WORKER_FILTER
  sock_fprog filter = {static_cast<unsigned short>(sizeof(kNoNewProcesses) / sizeof(sock_filter)),
                       kNoNewProcesses};
  if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0) _exit(kWorkerNotBoundedExitCode);
#endif
  execve(argv[0], argv, envp);
  _exit(127);
}

// "NAME=" followed by `value` in `out`; false when it does not fit.
bool FormVariable(const char* name, const char* value, char* out, std::size_t capacity) {
  const std::size_t name_length = std::strlen(name);
  const std::size_t value_length = std::strlen(value);
  if (name_length + 1 + value_length + 1 > capacity) return false;
  std::memcpy(out, name, name_length);
  out[name_length] = '=';
  std::memcpy(out + name_length + 1, value, value_length + 1);
  return true;
}

}  // namespace

Worker* StartWorker(const char16_t* program, const char16_t* const* arguments, int count,
                    const char16_t* temp_directory, const WorkerLimits& limits,
                    WorkerStartFailure* failure) {
  // Whatever fails before the child runs is a worker that could not be started; a child that
  // cannot bind itself says so by its exit code.
  *failure = WorkerStartFailure::kNotStarted;
  if (count < 0 || count > kMostWorkerArguments) return nullptr;
  // Everything the child needs is formed before the fork: after it, only plain system calls.
  char paths[kMostWorkerArguments + 1][posix::kNarrowPathCapacity];
  char* argv[kMostWorkerArguments + 2] = {};
  if (!posix::ToUtf8(program, paths[0], sizeof(paths[0]))) return nullptr;
  argv[0] = paths[0];
  for (int i = 0; i < count; ++i) {
    if (!posix::ToUtf8(arguments[i], paths[i + 1], sizeof(paths[i + 1]))) return nullptr;
    argv[i + 1] = paths[i + 1];
  }
  char temp[posix::kNarrowPathCapacity];
  if (!posix::ToUtf8(temp_directory, temp, sizeof(temp))) return nullptr;
  constexpr std::size_t kVariableCapacity = posix::kNarrowPathCapacity + 8;
  char variables[3][kVariableCapacity];
  const char* const names[] = {"TMPDIR", "TMP", "TEMP"};
  char* envp[4] = {};
  for (int i = 0; i < 3; ++i) {
    if (!FormVariable(names[i], temp, variables[i], kVariableCapacity)) return nullptr;
    envp[i] = variables[i];
  }

  void* block = AllocateBlock(sizeof(Worker));
  if (block == nullptr) return nullptr;
  const pid_t pid = fork();
  if (pid == 0) BecomeWorker(argv, envp, temp, limits);
  if (pid < 0) {
    FreeBlock(block);
    return nullptr;
  }
  // Set from both sides, so that the group exists whichever runs first.
  setpgid(pid, pid);
  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  return new (block) Worker{pid, pidfd};
}

WorkerState WaitForWorker(Worker* worker, std::uint32_t milliseconds, int* exit_code) {
  const std::uint64_t deadline = MonotonicMilliseconds() + milliseconds;
  for (;;) {
    // Looked at without reaping: the ended worker keeps its process group's number reserved
    // until EndWorker has killed the group.
    siginfo_t info = {};
    const int peeked =
        waitid(P_PID, static_cast<id_t>(worker->pid), &info, WEXITED | WNOHANG | WNOWAIT);
    if (peeked != 0 && errno != EINTR) return WorkerState::kEndedAbnormally;
    if (peeked == 0 && info.si_pid == worker->pid) {
      if (info.si_code != CLD_EXITED) {
        if (info.si_status == SIGXFSZ) return WorkerState::kPastFileLimit;
        if (info.si_status == SIGXCPU) return WorkerState::kPastProcessorLimit;
        return WorkerState::kEndedAbnormally;
      }
      *exit_code = info.si_status;
      return WorkerState::kExited;
    }
    const std::uint64_t now = MonotonicMilliseconds();
    if (now >= deadline) return WorkerState::kRunning;
    const auto left = static_cast<int>(deadline - now);
    if (worker->pidfd >= 0) {
      pollfd ended = {worker->pidfd, POLLIN, 0};
      poll(&ended, 1, left);
    } else {
      const long step = left < kPollStepMs ? left : kPollStepMs;
      const timespec pause = {0, step * 1000000L};
      nanosleep(&pause, nullptr);
    }
  }
}

void EndWorker(Worker* worker) {
  if (worker == nullptr) return;
  kill(-worker->pid, SIGKILL);
  kill(worker->pid, SIGKILL);
  int status = 0;
  while (waitpid(worker->pid, &status, 0) < 0 && errno == EINTR) {
  }
  // Whatever it started despite its bounds was killed with it. Those are not this process's
  // children to wait for: they are gone once nothing answers for the group, or after a second
  // (one that is dead but not yet reaped by its new parent still answers).
  for (int waited = 0; waited < kGroupEndWaitMs && kill(-worker->pid, 0) == 0; ++waited) {
    const timespec pause = {0, 1000000L};
    nanosleep(&pause, nullptr);
  }
  if (worker->pidfd >= 0) close(worker->pidfd);
  FreeBlock(worker);
}

std::uint64_t MonotonicMilliseconds() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000U +
         static_cast<std::uint64_t>(now.tv_nsec / 1000000);
}

bool GetFileSizeAt(const char16_t* path, std::uint64_t* size) {
  char narrow[posix::kNarrowPathCapacity];
  struct stat status;
  if (!posix::ToUtf8(path, narrow, sizeof(narrow)) || stat(narrow, &status) != 0) return false;
  *size = static_cast<std::uint64_t>(status.st_size);
  return true;
}

namespace {

// Calls `visit` with the folder's descriptor and the name of each of its entries but "." and
// "..". False when the folder (not followed through a symbolic link) cannot be listed.
template <typename Visit>
bool ForEachEntryIn(const char* folder_path, Visit visit) {
  const int folder = open(folder_path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
  if (folder < 0) return false;
  DIR* listing = fdopendir(folder);
  if (listing == nullptr) {
    close(folder);
    return false;
  }
  while (const dirent* entry = readdir(listing)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    visit(folder, entry->d_name);
  }
  closedir(listing);
  return true;
}

}  // namespace

bool GetFolderFilesSize(const char16_t* path, std::uint64_t* size) {
  char narrow[posix::kNarrowPathCapacity];
  if (!posix::ToUtf8(path, narrow, sizeof(narrow))) return false;
  std::uint64_t total = 0;
  const bool listed = ForEachEntryIn(narrow, [&total](int folder, const char* name) {
    struct stat status;
    if (fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode)) {
      total += static_cast<std::uint64_t>(status.st_size);
    }
  });
  *size = total;
  return listed;
}

bool CreatePrivateDirectory(const char16_t* directory, const char16_t* prefix, char16_t* path) {
  char name[posix::kNarrowPathCapacity];
  if (!posix::ToUtf8(directory, name, sizeof(name))) return false;
  const std::size_t directory_length = std::strlen(name);
  if (!posix::ToUtf8(prefix, name + directory_length, sizeof(name) - directory_length)) {
    return false;
  }
  const std::size_t stem = std::strlen(name);
  if (stem + sizeof("XXXXXX/") > sizeof(name)) return false;
  std::memcpy(name + stem, "XXXXXX", sizeof("XXXXXX"));
  // mkdtemp makes the folder for the user alone (0700).
  if (mkdtemp(name) == nullptr) return false;
  std::memcpy(name + stem + 6, "/", 2);
  if (posix::FromUtf8(name, path, kPathCapacity)) return true;
  name[stem + 6] = '\0';
  rmdir(name);
  return false;
}

bool RemovePrivateDirectory(const char16_t* path) {
  char narrow[posix::kNarrowPathCapacity];
  if (!posix::ToUtf8(path, narrow, sizeof(narrow))) return false;
  if (!ForEachEntryIn(narrow, [](int folder, const char* name) { unlinkat(folder, name, 0); })) {
    return false;
  }
  return rmdir(narrow) == 0;
}

void SuppressCrashReports() {
  SetLimit(RLIMIT_CORE, 0);
}

}  // namespace quillmend::os
