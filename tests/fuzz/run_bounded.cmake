# Runs a libFuzzer binary for a bounded time over a fresh copy of a seed corpus.
# -DFUZZER=<binary> -DCORPUS=<seed dir> -DWORK=<scratch dir> -DSECONDS=<n> -DMAX_LEN=<n>
foreach(var FUZZER CORPUS WORK SECONDS MAX_LEN)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "run_bounded.cmake: ${var} is not set")
    endif()
endforeach()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/findings)
file(GLOB seeds ${CORPUS}/*)
if(NOT seeds)
    message(FATAL_ERROR "run_bounded.cmake: no seeds in ${CORPUS}")
endif()
file(COPY ${seeds} DESTINATION ${WORK}/corpus)

execute_process(
    COMMAND ${FUZZER} ${WORK}/corpus
        -max_total_time=${SECONDS} -timeout=10 -max_len=${MAX_LEN} -rss_limit_mb=4096
        -print_final_stats=1 -artifact_prefix=${WORK}/findings/
    RESULT_VARIABLE result)
file(GLOB findings ${WORK}/findings/*)
if(NOT result EQUAL 0 OR findings)
    message(FATAL_ERROR "fuzzer failed (exit ${result}); findings: ${findings}")
endif()
