# Runs the search signature and compares it with the one kept in the tree.
# A change meant to alter the search's play updates EXPECTED in the same commit.
execute_process(COMMAND ${BENCH} --signature OUTPUT_VARIABLE out RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${BENCH} --signature failed (${status}):\n${out}")
endif()
string(REGEX MATCH "signature: ([0-9a-f]+)" line "${out}")
file(READ ${EXPECTED} expected)
string(STRIP "${expected}" expected)
if(NOT CMAKE_MATCH_1 STREQUAL expected)
  message(FATAL_ERROR "search signature ${CMAKE_MATCH_1}, expected ${expected} (${EXPECTED}):\n${out}")
endif()
message(STATUS "search signature ${expected}")
