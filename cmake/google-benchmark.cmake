# Google Benchmark: Debian ships no MinGW build of it, so ./run fetches Debian's source
# package of this version into the build folder and the build compiles it for its target.
# Included by bench/CMakeLists.txt; ./run reads it with `cmake -P`, which prints
# "PACKAGE_VERSION VERSION FOLDER".
set(VELDRIN_BENCHMARK_PACKAGE_VERSION 1.7.1-1)  # Debian's: the upstream release, then Debian's revision
string(REGEX REPLACE "-[^-]+$" "" VELDRIN_BENCHMARK_VERSION "${VELDRIN_BENCHMARK_PACKAGE_VERSION}")
# Where ./run unpacks it, under the source tree (apt-get source names the folder so).
set(VELDRIN_BENCHMARK_FOLDER "build/deps/benchmark-${VELDRIN_BENCHMARK_VERSION}")
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E echo
                  "${VELDRIN_BENCHMARK_PACKAGE_VERSION} ${VELDRIN_BENCHMARK_VERSION} ${VELDRIN_BENCHMARK_FOLDER}")
endif()
