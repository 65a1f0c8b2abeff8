# The fuzz harness: the product's libraries built again in a hardened configuration (bounds-checked
# standard containers, stack protector, fortified C library calls) with edge coverage for the
# engine, the engine and its targets, the harness test of the default run, and the seed archives.
#
# Included from the test build, this file adds the targets; the seed step runs this same file as
# a script (cmake -P) with SEVEN_ZIP and OUT_DIR set, which writes the archives into OUT_DIR.

if(NOT CMAKE_SCRIPT_MODE_FILE)
  set(TAMRIX_HARDENING -D_GLIBCXX_ASSERTIONS -fstack-protector-strong -D_FORTIFY_SOURCE=2)

  # tamrix_hardened_copy(<new> <original>): the original library's sources built with the
  # hardening and the coverage hook, linked to the hardened copies of its siblings.
  function(tamrix_hardened_copy name original)
    get_target_property(sources ${original} SOURCES)
    get_target_property(private ${original} LINK_LIBRARIES)
    get_target_property(interface ${original} INTERFACE_LINK_LIBRARIES)
    foreach(list private interface)
      list(TRANSFORM ${list} REPLACE "^(tamrix_utility|tamrix_toolkit|tamrix_core)$" "\\1_hardened")
    endforeach()
    add_library(${name} STATIC EXCLUDE_FROM_ALL ${sources})
    target_link_libraries(${name} PRIVATE ${private})
    set_target_properties(${name} PROPERTIES INTERFACE_LINK_LIBRARIES "${interface}")
    target_compile_options(${name} PRIVATE ${TAMRIX_HARDENING} -fsanitize-coverage=trace-pc)
    target_link_options(${name} INTERFACE -fstack-protector-strong)
  endfunction()
  tamrix_hardened_copy(tamrix_utility_hardened tamrix_utility)
  tamrix_hardened_copy(tamrix_toolkit_hardened tamrix_toolkit)
  tamrix_hardened_copy(tamrix_core_hardened tamrix_core)

  # The engine and the targets, hardened but without coverage (the hook lives in the engine).
  file(GLOB fuzz_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/fuzz/*.cpp)
  add_library(tamrix_fuzz_support STATIC EXCLUDE_FROM_ALL ${fuzz_sources}
    ${CMAKE_SOURCE_DIR}/tests/support/paths_support.cpp)
  target_link_libraries(tamrix_fuzz_support PUBLIC tamrix_options tamrix_core_hardened rapidjson)
  target_compile_options(tamrix_fuzz_support PUBLIC ${TAMRIX_HARDENING})
  get_property(skin_archive GLOBAL PROPERTY TAMRIX_SKIN_ARCHIVE)
  target_compile_definitions(tamrix_fuzz_support PUBLIC
    TAMRIX_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/tests/support"
    TAMRIX_TEST_DATA_DIR="${CMAKE_BINARY_DIR}/tests/data"
    TAMRIX_FUZZ_SKIN_ARCHIVE=L"Z:${skin_archive}"
    TAMRIX_FUZZ_REGRESSIONS=L"Z:${CMAKE_SOURCE_DIR}/tests/fuzz/regressions"
    TAMRIX_FUZZ_FINDINGS=L"Z:${CMAKE_BINARY_DIR}/fuzz-findings")

  set(fuzz_data_dir ${CMAKE_BINARY_DIR}/tests/data)
  set(fuzz_archives ${fuzz_data_dir}/fuzz-plain-copy.7z ${fuzz_data_dir}/fuzz-plain-lzma2.7z
      ${fuzz_data_dir}/fuzz-plain-escape.7z)
  add_custom_command(OUTPUT ${fuzz_archives}
    COMMAND ${CMAKE_COMMAND} -DSEVEN_ZIP=${SEVEN_ZIP} -DOUT_DIR=${fuzz_data_dir}
            -P ${CMAKE_CURRENT_LIST_FILE}
    DEPENDS ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Making the fuzz seed archives"
    VERBATIM)
  add_custom_target(tamrix_fuzz_data DEPENDS ${fuzz_archives})
  add_dependencies(tamrix_fuzz_support tamrix_fuzz_data tamrix_archives utility_archive_test_data)

  # The default run's bounded harness; WINEDEBUG=warn+heap makes Wine check the heap, and a
  # heap complaint fails the test.
  tamrix_add_wine_test(NAME fuzz_harness_test
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/fuzz_harness_test.cpp
    LIBRARIES tamrix_fuzz_support TIMEOUT 240)
  set_tests_properties(fuzz_harness_test PROPERTIES ENVIRONMENT "WINEDEBUG=warn+heap"
    FAIL_REGULAR_EXPRESSION "(err|warn):heap")
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/../support/data_script.cmake)
data_work_folder(${OUT_DIR}/fuzz-sources)

# Archives whose header database is stored plain (-mhc=off): mutations of names, sizes and
# counts reach the header reader instead of an LZMA stream.
file(WRITE ${work}/skin/layout.xml "<Window size=\"640,480\"><Label text=\"@sure\"/></Window>\n")
file(WRITE ${work}/skin/common/close.png "png")
file(WRITE ${work}/skin/empty.txt "")
file(MAKE_DIRECTORY ${work}/skin/fonts)
foreach(case "copy|-m0=Copy" "lzma2|-m0=lzma2")
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 name)
  list(GET parts 1 method)
  file(REMOVE ${OUT_DIR}/fuzz-plain-${name}.7z)
  run(${SEVEN_ZIP} a -t7z -mhc=off ${method} ${OUT_DIR}/fuzz-plain-${name}.7z skin)
endforeach()
file(REMOVE ${OUT_DIR}/fuzz-plain-escape.7z)
run(${SEVEN_ZIP} a -t7z -mhc=off -m0=Copy ${OUT_DIR}/fuzz-plain-escape.7z skin/layout.xml)
execute_process(COMMAND ${SEVEN_ZIP} a -t7z -mhc=off -m0=Copy -si../../escape.txt
  ${OUT_DIR}/fuzz-plain-escape.7z INPUT_FILE ${work}/skin/layout.xml RESULT_VARIABLE failed
  OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "failed to add the climbing name to fuzz-plain-escape.7z")
endif()
