# The DLLs a shipped Windows binary may import: Windows' own, no MinGW or MSVC runtime DLL. One
# list for both checks of imports (the plug-in's export-table test and the release checks).
set(QUILLMEND_WINDOWS_SYSTEM_DLLS
  "(kernel32|user32|shell32|shlwapi|advapi32|bcrypt|ntdll|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)")
