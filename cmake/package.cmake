# Writes the Windows package, BUILD_DIR/NAME.zip: the package component installed as built into a
# staging folder, SHA256SUMS for every file there, and a ZIP whose bytes depend on those
# files alone. The files' date in the ZIP is SOURCE_DATE_EPOCH when it is set, else the date of
# the commit the source is at, else 1980-01-01.
# Usage: cmake -DBUILD_DIR=DIR -DCONFIG=CONFIG -DSOURCE_DIR=DIR -DNAME=NAME -DPYTHON=PYTHON
#              [-DGIT=GIT] -P package.cmake
if(NOT PYTHON)
  message(FATAL_ERROR "package: Python 3 writes the ZIP, and it was not found")
endif()

set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(epoch STREQUAL "" AND GIT)
  execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} log -1 --format=%ct
    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    set(epoch "")
  endif()
endif()
if(NOT epoch MATCHES "^[0-9]+$")
  set(epoch 315532800)
endif()

set(stage ${BUILD_DIR}/package-stage/${NAME})
file(REMOVE_RECURSE ${BUILD_DIR}/package-stage)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --config ${CONFIG}
                        --component package --prefix ${stage}
  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

file(GLOB files RELATIVE ${stage} ${stage}/*)
list(SORT files)
set(sums "")
foreach(file IN LISTS files)
  file(SHA256 ${stage}/${file} hash)
  string(APPEND sums "${hash}  ${file}\n")
endforeach()
file(WRITE ${stage}/SHA256SUMS "${sums}")
list(APPEND files SHA256SUMS)
list(SORT files)

set(zip ${BUILD_DIR}/${NAME}.zip)
execute_process(
  COMMAND ${PYTHON} ${CMAKE_CURRENT_LIST_DIR}/reproducible-zip.py ${zip} ${epoch} ${stage} ${NAME}
          ${files}
  COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "package: ${zip}")
