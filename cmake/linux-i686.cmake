# 32-bit Linux with the distribution's multilib compilers (g++ or clang++, chosen by the
# preset): the native build of the unit tests and the stand-in game, for the sanitizers
# and the fuzzers. The layouts of the game's records are 32-bit, so is this build.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_ASM_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
# What this build makes runs where 32-bit programs run (in the emulated machine when ./run
# chose it): the tests' programs, and CMake's own checks that run one while configuring
# (Google Benchmark's, in the benchmarks' build).
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../tools/guest/run32")
