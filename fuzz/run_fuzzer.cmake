# One bounded fuzz run for ctest: a fresh corpus folder seeded from the
# source seeds, 30 seconds of fuzzing, failure on any finding.
#   cmake -DFUZZER=... -DSEEDS=... -DCORPUS=... -DARTIFACTS=... -DMAX_LEN=... -P run_fuzzer.cmake
foreach(var FUZZER SEEDS CORPUS ARTIFACTS MAX_LEN)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_fuzzer.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${CORPUS}")
file(COPY "${SEEDS}/" DESTINATION "${CORPUS}")
file(MAKE_DIRECTORY "${ARTIFACTS}")
get_filename_component(name "${FUZZER}" NAME)

execute_process(
  COMMAND "${FUZZER}"
          -max_total_time=30 -rss_limit_mb=4096 -max_len=${MAX_LEN}
          -print_final_stats=1
          "-artifact_prefix=${ARTIFACTS}${name}-"
          "${CORPUS}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${name} exited with ${result}: see the input saved under ${ARTIFACTS}")
endif()
