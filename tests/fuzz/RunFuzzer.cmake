# Runs one fuzzer for SECONDS on a fresh copy of its seeds in CORPUS, so the
# seeds in the source tree stay as they are. Fails on any crash, leak or
# sanitizer report (the fuzzer then exits non-zero and keeps the input). The
# libraries' own chatter on standard error is closed; reports still show.
file(REMOVE_RECURSE ${CORPUS})
file(COPY ${SEEDS}/ DESTINATION ${CORPUS})
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -max_len=${MAX_LEN} -timeout=25
          -rss_limit_mb=2048 -close_fd_mask=2 -print_final_stats=1 -artifact_prefix=${CORPUS}.
          ${CORPUS}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${result}); the input is kept beside ${CORPUS}")
endif()
