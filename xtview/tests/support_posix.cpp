// The POSIX side of the test helpers.
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "support.h"

extern char** environ;

namespace xtview_test {

fs::path BuildPath(const std::string& path) {
  return fs::path(path);
}

namespace {

// The program's name and its arguments as execve takes them, in `storage`'s strings.
std::vector<char*> ArgumentVector(const fs::path& program,
                                  const std::vector<std::string>& arguments,
                                  std::vector<std::string>* storage) {
  *storage = arguments;
  storage->insert(storage->begin(), program.string());
  std::vector<char*> argv;
  for (std::string& argument : *storage) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return argv;
}

}  // namespace

int StartProgram(const fs::path& program, const std::vector<std::string>& arguments,
                 const fs::path& output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<std::string> storage;
  std::vector<char*> argv = ArgumentVector(program, arguments, &storage);
  pid_t child = 0;
  const int started = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return started == 0 ? child : -1;
}

namespace {

// The exit code of the child, or 128 and the signal that ended it; -1 when it was not started.
int ExitCodeOf(pid_t child) {
  if (child < 0) return -1;
  int status = 0;
  if (waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

constexpr uid_t kNobody = 65534;  // nobody, and the group nogroup, on Debian

}  // namespace

int RunProgram(const fs::path& program, const std::vector<std::string>& arguments,
               const fs::path& output) {
  return ExitCodeOf(StartProgram(program, arguments, output));
}

int RunProgramAsOrdinaryUser(const fs::path& program, const std::vector<std::string>& arguments,
                             const fs::path& output) {
  if (geteuid() != 0) return RunProgram(program, arguments, output);
  // posix_spawn cannot change the user: fork, and between fork and exec only plain system calls,
  // with everything they need formed before.
  const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) return -1;
  std::vector<std::string> storage;
  std::vector<char*> argv = ArgumentVector(program, arguments, &storage);
  const std::string refused = "cannot start " + program.string() + " as user 65534\n";
  const pid_t child = fork();
  if (child == 0) {
    if (dup2(out, STDOUT_FILENO) < 0 || dup2(out, STDERR_FILENO) < 0) _exit(127);
    if (setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0) {
      execve(argv[0], argv.data(), environ);
    }
    if (write(STDERR_FILENO, refused.data(), refused.size()) < 0) _exit(127);
    _exit(127);
  }
  close(out);
  return ExitCodeOf(child);
}

void SetEnvironment(const std::string& name, const std::string& value) {
  if (value.empty()) {
    unsetenv(name.c_str());
  } else {
    setenv(name.c_str(), value.c_str(), 1);
  }
}

std::shared_ptr<void> KeepUnreadable(const fs::path& file) {
  if (geteuid() == 0) return nullptr;
  if (chmod(file.c_str(), 0) != 0) return nullptr;
  return Undoing([file] { chmod(file.c_str(), 0644); });
}

namespace {

// Root ignores permissions, but not a folder marked immutable.
bool SetImmutable(const fs::path& folder, bool immutable) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  close(fd);
  return done;
}

bool RefusesNewFiles(const fs::path& folder) {
  const fs::path probe = folder / "probe";
  const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return true;
  close(fd);
  unlink(probe.c_str());
  return false;
}

}  // namespace

std::shared_ptr<void> KeepUnwritable(const fs::path& folder) {
  std::shared_ptr<void> holder;
  if (geteuid() == 0) {
    if (!SetImmutable(folder, true)) return nullptr;
    holder = Undoing([folder] { SetImmutable(folder, false); });
  } else {
    if (chmod(folder.c_str(), 0555) != 0) return nullptr;
    holder = Undoing([folder] { chmod(folder.c_str(), 0755); });
  }
  return RefusesNewFiles(folder) ? holder : nullptr;
}

}  // namespace xtview_test
