# Checks a built Windows binary: its version resource, read back with windres, names the
# project's version, DESCRIPTION, the product, the file's own name and the licence, and holds
# the Comments string COMMENTS (the third-party code inside), or none when COMMENTS is empty;
# and it imports Windows system DLLs only.
# Usage: cmake -DFILE= -DDESCRIPTION= [-DCOMMENTS=] -DVERSION= -DWINDRES= -DOBJDUMP=
#              -P check_windows_binary.cmake
execute_process(COMMAND ${WINDRES} -i ${FILE} -O rc
  OUTPUT_VARIABLE resources ERROR_VARIABLE resources RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "windres cannot read ${FILE}'s resources: ${resources}")
endif()
get_filename_component(file_name ${FILE} NAME)
string(REPLACE "." ", " numbers "${VERSION}.0")
set(missing "")
foreach(expected
    " FILEVERSION ${numbers}\n" " PRODUCTVERSION ${numbers}\n"
    "VALUE \"FileDescription\", \"${DESCRIPTION}\"\n" "VALUE \"FileVersion\", \"${VERSION}\"\n"
    "VALUE \"ProductName\", \"Quillmend\"\n" "VALUE \"ProductVersion\", \"${VERSION}\"\n"
    "VALUE \"OriginalFilename\", \"${file_name}\"\n" "AGPL-3.0-or-later")
  string(FIND "${resources}" "${expected}" at)
  if(at EQUAL -1)
    string(STRIP "${expected}" expected)
    list(APPEND missing "${expected}")
  endif()
endforeach()
# windres writes a quote inside a string doubled, as a resource script does.
string(REPLACE "\"" "\"\"" comments "${COMMENTS}")
string(REGEX MATCHALL "VALUE \"Comments\", \"[^\n]*\"\n" found_comments "${resources}")
if("${COMMENTS}" STREQUAL "" AND found_comments)
  message(FATAL_ERROR "${FILE} has a Comments string, and none was expected: ${found_comments}")
elseif(NOT "${COMMENTS}" STREQUAL "" AND NOT "${found_comments}" STREQUAL "VALUE \"Comments\", \"${comments}\"\n")
  list(APPEND missing "VALUE \"Comments\", \"${comments}\"")
endif()
if(missing)
  list(JOIN missing "\n  " missing)
  message(FATAL_ERROR "${FILE}'s resources lack\n  ${missing}\nwindres reads:\n${resources}")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/windows-system-dlls.cmake)
execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE headers COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
if(NOT imports)
  message(FATAL_ERROR "no import table found in ${FILE}")
endif()
foreach(import IN LISTS imports)
  string(TOLOWER "${import}" import)
  if(NOT import MATCHES "^dll name: ${QUILLMEND_WINDOWS_SYSTEM_DLLS}\\.dll$")
    message(FATAL_ERROR "${FILE} imports ${import}, which is no Windows system DLL")
  endif()
endforeach()
message(STATUS "${file_name}: version ${VERSION}, ${DESCRIPTION}; ${imports}")
