# Builds a copy of the source twice, in two folders of different depth, one after the other and
# in another time zone, and checks that OUTPUTS (comma-separated, relative to the build folder)
# are byte for byte the same. With PACKAGE, also checks the package's SHA256SUMS and that
# SOURCE_DATE_EPOCH dates its files. WINDOWS_QPDF is the Windows build's static qpdf
# (QUILLMEND_WINDOWS_QPDF), which both builds link.
# Usage: cmake -DSOURCE_DIR= -DWORK_DIR= -DGENERATOR= -DTOOLCHAIN= -DBUILD_TYPE= -DC_COMPILER=
#              -DCXX_COMPILER= -DTARGETS= (comma-separated) -DOUTPUTS= -DPACKAGE=0|1
#              [-DWINDOWS_QPDF=] -P reproducible.cmake
string(REPLACE "," ";" outputs "${OUTPUTS}")
string(REPLACE "," ";" targets "${TARGETS}")
file(REMOVE_RECURSE ${WORK_DIR})

function(build folder time_zone)
  set(source ${folder}/source)
  file(GLOB entries LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
  list(REMOVE_ITEM entries build .git)
  foreach(entry IN LISTS entries)
    file(COPY ${SOURCE_DIR}/${entry} DESTINATION ${source})
  endforeach()
  set(toolchain "")
  if(TOOLCHAIN)
    string(REPLACE "${SOURCE_DIR}/" "${source}/" toolchain "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}")
  endif()
  set(qpdf "")
  if(WINDOWS_QPDF)
    set(qpdf "-DQUILLMEND_WINDOWS_QPDF=${WINDOWS_QPDF}")
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH TZ=${time_zone}
            ${CMAKE_COMMAND} -S ${source} -B ${folder}/build -G ${GENERATOR} ${toolchain}
            -DCMAKE_BUILD_TYPE=${BUILD_TYPE} -DCMAKE_C_COMPILER=${C_COMPILER}
            -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DQUILLMEND_BUILD_TESTS=OFF ${qpdf}
    COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH TZ=${time_zone}
            ${CMAKE_COMMAND} --build ${folder}/build --parallel 2 --target ${targets}
    COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
endfunction()

set(first ${WORK_DIR}/a)
set(second ${WORK_DIR}/elsewhere/b)
build(${first} UTC0)
build(${second} EST5EDT)

set(differing "")
foreach(output IN LISTS outputs)
  file(SHA256 ${first}/build/${output} first_hash)
  file(SHA256 ${second}/build/${output} second_hash)
  message(STATUS "${output}: ${first_hash} ${second_hash}")
  if(NOT first_hash STREQUAL second_hash)
    list(APPEND differing ${output})
  endif()
endforeach()
if(differing)
  message(FATAL_ERROR "two builds of the same source differ in: ${differing} (see ${WORK_DIR})")
endif()

if(PACKAGE)
  list(GET outputs -1 zip)
  get_filename_component(name ${zip} NAME_WLE)
  set(unpacked ${WORK_DIR}/unpacked)
  file(ARCHIVE_EXTRACT INPUT ${first}/build/${zip} DESTINATION ${unpacked})
  file(GLOB files RELATIVE ${unpacked}/${name} ${unpacked}/${name}/*)
  list(REMOVE_ITEM files SHA256SUMS)
  set(expected "")
  foreach(file IN LISTS files)
    file(SHA256 ${unpacked}/${name}/${file} hash)
    string(APPEND expected "${hash}  ${file}\n")
  endforeach()
  file(READ ${unpacked}/${name}/SHA256SUMS sums)
  if(NOT files STREQUAL "LICENSE;README.md;THIRD-PARTY-LICENSES.txt;quillmend-convert.exe;quillmend.dll;xtview.exe" OR NOT sums STREQUAL expected)
    message(FATAL_ERROR "the package holds [${files}] with SHA256SUMS\n${sums}expected\n${expected}")
  endif()

  # 1700000000 is 2023-11-14 22:13:20 UTC: DOS time 0xB1AA and date 0x576E, little-endian.
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=1700000000
            ${CMAKE_COMMAND} --build ${second}/build --target ${targets}
    COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
  file(READ ${second}/build/${zip} date_time OFFSET 10 LIMIT 4 HEX)
  if(NOT date_time STREQUAL "aab16e57")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH=1700000000 gave the first file the DOS time and date "
                        "${date_time}, expected aab16e57")
  endif()
endif()
file(REMOVE_RECURSE ${WORK_DIR})
