# The 7z archives the skin store and text table tests read, made at build time with the 7-Zip
# command line, and a resource script that carries one of them in the skin store test program
# the way the installer carries its skin.
#
# Included from the test build, this file adds the build step; the step runs this same file as a
# script (cmake -P) with SEVEN_ZIP and OUT_DIR set, which writes the archives into OUT_DIR.

if(NOT CMAKE_SCRIPT_MODE_FILE)
  set(skin_data_dir ${CMAKE_BINARY_DIR}/tests/data)
  set(skin_archives ${skin_data_dir}/toolkit-skin.7z ${skin_data_dir}/toolkit-skin-crc.7z)
  add_custom_command(OUTPUT ${skin_archives}
    COMMAND ${CMAKE_COMMAND} -DSEVEN_ZIP=${SEVEN_ZIP} -DOUT_DIR=${skin_data_dir}
            -P ${CMAKE_CURRENT_LIST_FILE}
    DEPENDS ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Making the skin test archives"
    VERBATIM)
  add_custom_target(toolkit_skin_test_data DEPENDS ${skin_archives})

  set(skin_rc ${CMAKE_CURRENT_BINARY_DIR}/toolkit_skin_store_test.rc)
  file(WRITE ${skin_rc} "129 ZIPRES \"${skin_data_dir}/toolkit-skin.7z\"\n")
  set_source_files_properties(${skin_rc} PROPERTIES OBJECT_DEPENDS ${skin_data_dir}/toolkit-skin.7z)
  target_sources(toolkit_skin_store_test PRIVATE ${skin_rc})
  foreach(test toolkit_skin_store_test toolkit_text_table_test)
    add_dependencies(${test} toolkit_skin_test_data)
  endforeach()
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/../support/data_script.cmake)
data_work_folder(${OUT_DIR}/toolkit-skin-sources)

# A solid LZMA2 skin: layouts a disk folder may override, an image in a folder and a text table.
file(WRITE ${work}/mainframe.xml "<Window archive=\"mainframe\"/>")
file(WRITE ${work}/downloaderbox.xml "<Window archive=\"downloaderbox\"/>")
file(WRITE ${work}/locked.xml "<Window archive=\"locked\"/>")
file(WRITE ${work}/common/close.png "archive close.png")
file(WRITE ${work}/multi_language.tsv
  "Code\tlanguage_code\tzh_CN\ten_US\nLanguage\tlanguage_name\tzh\ten\nLabel\tsure\tque ding\tSure\n")
file(REMOVE ${OUT_DIR}/toolkit-skin.7z)
run(${SEVEN_ZIP} a -t7z -m0=lzma2 -ms=on ${OUT_DIR}/toolkit-skin.7z
    mainframe.xml downloaderbox.xml locked.xml common multi_language.tsv)

# Three stored, separately packed entries; the second one's content is damaged after packing, so
# the first is delivered before the archive fails. Its data starts after the 32-byte start header
# and the 5 bytes of "first".
file(WRITE ${work}/crc/1.xml "first")
file(WRITE ${work}/crc/2.xml "second")
file(WRITE ${work}/crc/3.xml "third")
file(REMOVE ${OUT_DIR}/toolkit-skin-crc.7z)
execute_process(COMMAND ${SEVEN_ZIP} a -m0=Copy -ms=off ${OUT_DIR}/toolkit-skin-crc.7z
    1.xml 2.xml 3.xml WORKING_DIRECTORY ${work}/crc RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "failed to make toolkit-skin-crc.7z")
endif()
run(printf X COMMAND dd of=${OUT_DIR}/toolkit-skin-crc.7z bs=1 seek=37 conv=notrunc)
