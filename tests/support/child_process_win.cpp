#include "child_process.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "sandbox.h"
#include "system.h"

namespace quillmend::test {

namespace {

// One argument as the C runtime's command-line parser splits it back out.
void AppendQuoted(const std::wstring& argument, std::wstring* line) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
    line->append(argument);
    return;
  }
  line->push_back(L'"');
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes double only in front of a quote.
    line->append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line->push_back(c);
  }
  line->append(backslashes * 2, L'\\');
  line->push_back(L'"');
}

}  // namespace

ChildRun RunChild(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                  const std::filesystem::path& log, int seconds) {
  ChildRun run;
  SECURITY_ATTRIBUTES inherited = {sizeof(inherited), nullptr, TRUE};
  const HANDLE file = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot create " << PathUtf8(log);
    return run;
  }
  std::wstring line;
  AppendQuoted(program.wstring(), &line);
  for (const std::string& argument : arguments) {
    line.push_back(L' ');
    AppendQuoted(Utf8Path(argument).wstring(), &line);
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = file;
  startup.hStdError = file;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(file);
  if (!started) {
    ADD_FAILURE() << "cannot start " << PathUtf8(program) << ": error " << GetLastError();
    return run;
  }
  if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(seconds) * 1000) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    run.exit_code = static_cast<int>(code);
  } else {
    ADD_FAILURE() << PathUtf8(program) << " ran longer than " << seconds << " s and was ended";
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (const char c : ReadFileBytes(log)) {
    if (c != '\r') run.output += c;
  }
  return run;
}

}  // namespace quillmend::test
