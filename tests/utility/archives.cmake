# The 7z archives the archive tests read, made at build time with the 7-Zip command line.
#
# Included from the test build, this file adds the build step; the step runs this same file as a
# script (cmake -P) with SEVEN_ZIP and OUT_DIR set, which writes the archives into OUT_DIR.

if(NOT CMAKE_SCRIPT_MODE_FILE)
  set(archive_dir ${CMAKE_BINARY_DIR}/tests/data)
  set(archive_names nested empty crc truncated names escape-middle escape-parent
      escape-parent-backslash escape-inner-parent escape-dots escape-rooted escape-rooted-backslash
      escape-drive-relative escape-drive-absolute escape-unc)
  set(archive_files)
  foreach(name ${archive_names})
    list(APPEND archive_files ${archive_dir}/archive-${name}.7z)
  endforeach()
  add_custom_command(OUTPUT ${archive_files}
    COMMAND ${CMAKE_COMMAND} -DSEVEN_ZIP=${SEVEN_ZIP} -DOUT_DIR=${archive_dir}
            -P ${CMAKE_CURRENT_LIST_FILE}
    DEPENDS ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Making the test archives"
    VERBATIM)
  add_custom_target(utility_archive_test_data DEPENDS ${archive_files})
  add_dependencies(utility_archive_test utility_archive_test_data)
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/../support/data_script.cmake)
data_work_folder(${OUT_DIR}/archive-sources)

# archive(<name> <7-Zip options and members...>): a new archive from members below ${work}.
function(archive name)
  file(REMOVE ${OUT_DIR}/archive-${name}.7z)
  run(${SEVEN_ZIP} a ${OUT_DIR}/archive-${name}.7z ${ARGN})
endfunction()

# add_named(<name> <stored name>): adds one entry with the stored name exactly as given, which
# the command line otherwise refuses for names that climb out or are absolute.
function(add_named name stored)
  execute_process(COMMAND ${SEVEN_ZIP} a -si${stored} ${OUT_DIR}/archive-${name}.7z
    INPUT_FILE ${work}/escape.txt RESULT_VARIABLE failed OUTPUT_QUIET)
  if(failed)
    message(FATAL_ERROR "failed to add ${stored} to ${name}")
  endif()
endfunction()

# A solid LZMA2 archive with folders, one of them nested, files inside them and a folder without
# files.
file(WRITE ${work}/skin/deep/layout.xml "<Window size=\"640,480\"><Label text=\"@install\"/></Window>\n")
file(MAKE_DIRECTORY ${work}/skin/fonts)
file(WRITE ${work}/readme.txt "Tamrix skin\n")
archive(nested -mx=9 skin readme.txt)

# An empty file next to a non-empty one.
file(WRITE ${work}/zero.bin "")
file(WRITE ${work}/data.txt "data")
archive(empty zero.bin data.txt)

# Three stored (uncompressed), separately packed files; the content of the second one is damaged
# after packing. Its data starts after the 32-byte start header and the 5 bytes of "first".
file(WRITE ${work}/1.txt "first")
file(WRITE ${work}/2.txt "second")
file(WRITE ${work}/3.txt "third")
archive(crc -m0=Copy -ms=off 1.txt 2.txt 3.txt)
run(printf X COMMAND dd of=${OUT_DIR}/archive-crc.7z bs=1 seek=37 conv=notrunc)

# The first half of the nested archive.
file(SIZE ${OUT_DIR}/archive-nested.7z nested_size)
math(EXPR half "${nested_size} / 2")
run(dd if=${OUT_DIR}/archive-nested.7z of=${OUT_DIR}/archive-truncated.7z bs=1 count=${half})

# Names outside ASCII, one of them outside the Basic Multilingual Plane.
file(WRITE "${work}/names/ünïcödé.txt" "umlauts")
file(WRITE "${work}/names/日本語/テスト.txt" "kanji")
file(WRITE "${work}/names/emoji-😀.txt" "emoji")
archive(names names)

# Entries whose names climb out of the destination or name a place of their own. Each one
# lands, if ever written, at a name the tests look for.
file(WRITE ${work}/escape.txt "escaped")
file(WRITE ${work}/before.txt "before")
file(WRITE ${work}/zafter.txt "after")
archive(escape-middle before.txt)
add_named(escape-middle ../tamrix-escape-middle.txt)
run(${SEVEN_ZIP} a ${OUT_DIR}/archive-escape-middle.7z zafter.txt)

foreach(case
    "parent|../tamrix-escape-parent.txt"
    "parent-backslash|..\\tamrix-escape-parent-backslash.txt"
    "inner-parent|inner/../../tamrix-escape-inner-parent.txt"
    "dots|.../tamrix-escape-dots.txt"
    "rooted|/tamrix-escape-rooted.txt"
    "rooted-backslash|\\tamrix-escape-rooted-backslash.txt"
    "drive-relative|C:tamrix-escape-drive-relative.txt"
    "drive-absolute|C:\\tamrix-escape-drive-absolute.txt"
    "unc|\\\\tamrix-server\\share\\tamrix-escape-unc.txt")
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 name)
  list(GET parts 1 stored)
  file(REMOVE ${OUT_DIR}/archive-escape-${name}.7z)
  add_named(escape-${name} "${stored}")
endforeach()
