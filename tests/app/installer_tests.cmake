# The programs that run the real installer in the world need it built, and a folder for the
# screenshots they keep for a person to look at (<build>/tests/screens).
file(GLOB installer_world_tests CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_LIST_DIR}
  ${CMAKE_CURRENT_LIST_DIR}/installer_*_world_test.cpp)
foreach(source ${installer_world_tests})
  get_filename_component(name ${source} NAME_WE)
  add_dependencies(app_${name} tamrix_installer)
endforeach()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/tests/screens)
# The import table test reads the installer's file.
add_dependencies(app_installer_imports_test tamrix_installer)
# The ten-run soak starts the installer ten times, each run up to about half a minute.
set_tests_properties(app_installer_soak_world_test PROPERTIES TIMEOUT 900)
