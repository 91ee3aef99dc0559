# cmake -P script: builds a C program against an installed kova tree with the
# C compiler and flags of the build (no position-independence flags of its
# own unless EXTRA_FLAGS says so) and runs it.
#   CC, CFLAGS, EMULATOR, SOURCE, PREFIX, LIBDIR, OBJECTDIR, INCLUDEDIR, OUTPUT
#   MODE: library (-lkova) or objects (portmem.o misc.o physmap.o synclock.o)
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
execute_process(COMMAND ${EMULATOR} ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OUTPUT} failed (${status})")
endif()
