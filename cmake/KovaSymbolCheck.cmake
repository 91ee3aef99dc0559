# cmake -P script: fails when the program PROGRAM holds a symbol of the
# namespace NAMESPACE (as nm shows it, demangled).
#   NM, PROGRAM, NAMESPACE
cmake_policy(SET CMP0007 NEW)
execute_process(COMMAND ${NM} -C ${PROGRAM} OUTPUT_VARIABLE symbols ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR symbols STREQUAL "")
  message(FATAL_ERROR "${NM} -C ${PROGRAM} gave no symbols: ${errors}")
endif()
string(REPLACE ";" "," symbols "${symbols}")
string(REPLACE "\n" ";" lines "${symbols}")
list(FILTER lines INCLUDE REGEX "${NAMESPACE}")
if(lines)
  list(JOIN lines "\n" found)
  message(FATAL_ERROR "${PROGRAM} holds symbols of ${NAMESPACE}:\n${found}")
endif()
