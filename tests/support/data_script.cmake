# Shared by the scripts that make test data at build time (run with cmake -P): a fresh work
# folder, and run(), which runs a command in it and stops the build when the command fails.
#   data_work_folder(<folder>)   sets ${work} to an empty folder
function(data_work_folder folder)
  file(REMOVE_RECURSE ${folder})
  file(MAKE_DIRECTORY ${folder})
  set(work ${folder} PARENT_SCOPE)
endfunction()

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${work} RESULT_VARIABLE failed
    OUTPUT_QUIET ERROR_VARIABLE errors)
  if(failed)
    message(FATAL_ERROR "failed: ${ARGN}\n${errors}")
  endif()
endfunction()
