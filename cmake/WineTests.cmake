# Windows test programs run under Wine, in a prefix that belongs to this build folder.
set(TAMRIX_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-exec.sh ${TAMRIX_WINEPREFIX})

# tamrix_add_wine_test(NAME <name> SOURCES <files...> LIBRARIES <targets...> [WORLD])
# Builds a GoogleTest program and registers it with ctest; it runs under Wine with a
# generous time limit, since tests wait on events, never on guesses. A WORLD test runs inside
# its own isolated world (scripts/world.sh): the vendor's hosts served by the local double.
function(tamrix_add_wine_test)
  cmake_parse_arguments(T "WORLD" "NAME;TIMEOUT" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE tamrix_options ${T_LIBRARIES} GTest::gtest GTest::gmock GTest::gtest_main)
  if(T_WORLD)
    add_test(NAME ${T_NAME} COMMAND ${CMAKE_COMMAND} -E env TAMRIX_BUILD_DIR=${CMAKE_BINARY_DIR}
      ${CMAKE_SOURCE_DIR}/scripts/world.sh ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${T_NAME}>
      --gtest_color=no)
  else()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_color=no)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
endfunction()
