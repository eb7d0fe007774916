# Installs the library into a scratch prefix, then builds and runs a small C
# program against it twice: through find_package(vanto) and through
# pkg-config; installs the program and runs it from the prefix with no
# library path set.  Variables: BUILD_DIR, SRC (this folder), WORK (scratch
# dir).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(prefix ${WORK}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(LAST_OUT "${out}" PARENT_SCOPE)
endfunction()

# The library is built with the tests; installing must not rebuild it while
# other tests are running against it.
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component library)

foreach(f include/vanto/vanto.h include/vanto/vnt_ops.h include/vanto/vnt_errors.h
          include/vanto/vnt_status.h include/vanto/vnt_params.h
          lib/cmake/vanto/vantoConfig.cmake lib/pkgconfig/vanto.pc)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
file(GLOB libs ${prefix}/lib/libvanto.so*)
if(NOT libs)
  message(FATAL_ERROR "libvanto.so not installed")
endif()

# find_package
run(${CMAKE_COMMAND} -S ${SRC} -B ${WORK}/cm -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_C_COMPILER_LAUNCHER=)
run(${CMAKE_COMMAND} --build ${WORK}/cm)
run(${WORK}/cm/consumer)
if(NOT LAST_OUT MATCHES "consumer ok")
  message(FATAL_ERROR "find_package consumer printed: ${LAST_OUT}")
endif()

# pkg-config
find_program(PKG_CONFIG pkg-config REQUIRED)
find_program(CC NAMES cc gcc REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
run(${PKG_CONFIG} --cflags --libs vanto)
string(STRIP "${LAST_OUT}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(${CC} -std=c99 -Wall -Wextra -Werror ${SRC}/consumer.c -o ${WORK}/pc_consumer ${flags}
    -Wl,-rpath,${prefix}/lib)
run(${WORK}/pc_consumer)
if(NOT LAST_OUT MATCHES "consumer ok")
  message(FATAL_ERROR "pkg-config consumer printed: ${LAST_OUT}")
endif()

# The installed program finds the installed library by itself.
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component program)
if(NOT EXISTS ${prefix}/bin/vanto)
  message(FATAL_ERROR "not installed: bin/vanto")
endif()
run(env -u LD_LIBRARY_PATH -u LIBRARY_PATH ${prefix}/bin/vanto ${SRC}/tiny.lp)
if(NOT LAST_OUT MATCHES "Solution status: optimal" OR NOT LAST_OUT MATCHES "Objective value: -7\n")
  message(FATAL_ERROR "installed vanto printed: ${LAST_OUT}")
endif()

# The installed programs together: a recorded run replays without a
# difference, and the model written as a SAV file solves the same when read.
run(env -u LD_LIBRARY_PATH -u LIBRARY_PATH ${prefix}/bin/vanto --record ${WORK}/tiny.db --write ${WORK}/tiny.sav
    ${SRC}/tiny.lp)
if(NOT EXISTS ${prefix}/bin/vanto-replay)
  message(FATAL_ERROR "not installed: bin/vanto-replay")
endif()
run(env -u LD_LIBRARY_PATH -u LIBRARY_PATH ${prefix}/bin/vanto-replay ${WORK}/tiny.db)
if(NOT LAST_OUT MATCHES "calls: no differences.\n")
  message(FATAL_ERROR "installed vanto-replay printed: ${LAST_OUT}")
endif()
run(env -u LD_LIBRARY_PATH -u LIBRARY_PATH ${prefix}/bin/vanto ${WORK}/tiny.sav)
if(NOT LAST_OUT MATCHES "Objective value: -7\n")
  message(FATAL_ERROR "installed vanto on the SAV file printed: ${LAST_OUT}")
endif()
