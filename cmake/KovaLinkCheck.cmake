# cmake -P script: builds a C program against an installed kova tree with the
# C compiler and flags of the build (no position-independence flags of its
# own unless EXTRA_FLAGS says so) and runs it.
#   CC, CFLAGS, EMULATOR, SOURCE, PREFIX, LIBDIR, OBJECTDIR, INCLUDEDIR, OUTPUT
#   MODE: library (-lkova) or objects (portmem.o misc.o physmap.o synclock.o)
#   RUNNER (optional): kovarun, which runs the program on the simulated
#     controller; TRACE its trace file, which must show the mapping
#   MATCH (optional): a regular expression the program's standard output matches
separate_arguments(cflags UNIX_COMMAND "${CFLAGS} ${EXTRA_FLAGS}")
set(include -I${PREFIX}/${INCLUDEDIR})
if(MODE STREQUAL "library")
  set(link -DKOVA_ALL_MODULES ${SOURCE} -L${PREFIX}/${LIBDIR} -lkova -lm)
else()
  set(link ${SOURCE})
  foreach(module IN ITEMS portmem misc physmap synclock)
    list(APPEND link ${PREFIX}/${OBJECTDIR}/${module}.o)
  endforeach()
endif()
execute_process(COMMAND ${CC} ${cflags} ${include} ${link} -o ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "linking against the installed ${MODE} failed")
endif()
set(run ${EMULATOR})
if(RUNNER)
  set(run ${RUNNER} --trace ${TRACE} --)
endif()
execute_process(COMMAND ${run} ${OUTPUT} RESULT_VARIABLE status OUTPUT_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OUTPUT} failed (${status}): ${out}")
endif()
if(MATCH AND NOT out MATCHES "${MATCH}")
  message(FATAL_ERROR "${OUTPUT} printed \"${out}\", not matching \"${MATCH}\"")
endif()
if(RUNNER)
  file(READ ${TRACE} trace)
  if(NOT trace MATCHES "\nmmap [0-9A-F]+ [0-9A-F]+\n" OR NOT trace MATCHES "\nr8 ")
    message(FATAL_ERROR "the trace under ${RUNNER} shows no mapping and no register read:\n${trace}")
  endif()
endif()
