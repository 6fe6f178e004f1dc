# Builds TARGET in BUILD_DIR, a probe that includes HEADER across an arrow the
# rooms forbid, and passes only when the compiler cannot find HEADER: any
# other outcome (it compiles, or fails for another reason) is a failure.
#   cmake -DBUILD_DIR=... -DTARGET=... -DHEADER=... -P ArrowProbe.cmake
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${TARGET}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result EQUAL 0)
  message(FATAL_ERROR "${TARGET} compiled: ${HEADER} is on the path of a room that may not use it")
endif()
string(FIND "${output}" "${HEADER}: No such file" gcc_says)
string(FIND "${output}" "'${HEADER}' file not found" clang_says)
if(gcc_says EQUAL -1 AND clang_says EQUAL -1)
  message(FATAL_ERROR "${TARGET} failed for another reason than a missing ${HEADER}:\n${output}")
endif()
