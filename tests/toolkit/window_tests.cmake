# The skin of the toolkit's window tests (tests/toolkit/skin/), laid out in the build's test data
# folder: layouts and the text table copied, images made from their SVG sources with
# rsvg-convert. The window peer, the window tests, the render test and the toolkit benchmark use
# it; the render test keeps its PNGs in <build>/tests/renders for a person to look at.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)

set(test_skin_source ${CMAKE_CURRENT_LIST_DIR}/skin)
set(test_skin_dir ${CMAKE_BINARY_DIR}/tests/data/toolkit-skin)
file(GLOB_RECURSE test_skin_files CONFIGURE_DEPENDS RELATIVE ${test_skin_source}
  ${test_skin_source}/*.xml ${test_skin_source}/*.tsv ${test_skin_source}/*.svg)
set(test_skin_outputs)
foreach(file ${test_skin_files})
  get_filename_component(folder ${file} DIRECTORY)
  file(MAKE_DIRECTORY ${test_skin_dir}/${folder})
  if(file MATCHES "\\.svg$")
    string(REGEX REPLACE "\\.svg$" ".png" png ${file})
    add_custom_command(OUTPUT ${test_skin_dir}/${png}
      COMMAND ${RSVG_CONVERT} -o ${test_skin_dir}/${png} ${test_skin_source}/${file}
      DEPENDS ${test_skin_source}/${file}
      COMMENT "Drawing test skin image ${png}"
      VERBATIM)
    list(APPEND test_skin_outputs ${test_skin_dir}/${png})
  else()
    add_custom_command(OUTPUT ${test_skin_dir}/${file}
      COMMAND ${CMAKE_COMMAND} -E copy ${test_skin_source}/${file} ${test_skin_dir}/${file}
      DEPENDS ${test_skin_source}/${file}
      VERBATIM)
    list(APPEND test_skin_outputs ${test_skin_dir}/${file})
  endif()
endforeach()
add_custom_target(toolkit_test_skin DEPENDS ${test_skin_outputs})
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/tests/renders)

# The programs that open the skin, and what they need to find beside it.
add_dependencies(toolkit_window_peer toolkit_test_skin)
foreach(test toolkit_window_input_test toolkit_accessibility_test toolkit_render_world_test)
  add_dependencies(${test} toolkit_test_skin skin_viewer)
  target_compile_definitions(${test} PRIVATE
    TAMRIX_SKIN_VIEWER_EXE="$<TARGET_FILE:skin_viewer>"
    TAMRIX_RENDER_DIR="${CMAKE_BINARY_DIR}/tests/renders")
endforeach()

# The pointer and the keyboard focus belong to the whole display: tests that drive them run
# alone.
set_tests_properties(toolkit_window_input_test toolkit_accessibility_test PROPERTIES RUN_SERIAL TRUE)
