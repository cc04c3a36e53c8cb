# 32-bit Linux with the distribution's multilib compilers (g++ or clang++, chosen by the
# preset): the native build of the unit tests and the stand-in game, for the sanitizers
# and the fuzzers. The layouts of the game's records are 32-bit, so is this build.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_ASM_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
