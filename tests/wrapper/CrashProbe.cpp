// A test program that dies part-way on purpose, so the suite can show that its test
// wrapper reports such a run as failed. `--crash=MODE` picks how the middle test ends.

#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string mode;

// Each call keeps a frame of its own, so the compiler cannot turn it into a loop.
int __attribute__((noinline)) Recurse(int depth) {
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    return Recurse(depth + 1) + frame[0];
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wterminate"  // the point: an exception that ends the program
void __attribute__((noinline)) ThrowThrough() noexcept { throw std::runtime_error("escaped"); }
#pragma GCC diagnostic pop

int __attribute__((noinline)) Add(int a, int b) { return a + b; }

// A block written after it was freed, on a heap of its own; Wine's heap checks see it.
void WriteAfterFree() {
    HANDLE heap = HeapCreate(0, 0, 0);
    auto* block = static_cast<volatile char*>(HeapAlloc(heap, 0, 64));
    HeapFree(heap, 0, const_cast<char*>(block));
    block[8] = 1;
    HeapValidate(heap, 0, nullptr);
    HeapDestroy(heap);
}

TEST(CrashProbe, Before) { EXPECT_TRUE(true); }

TEST(CrashProbe, EndsAsTold) {
    if (mode == "stack-overflow") std::exit(Recurse(0));
    if (mode == "access-violation") *static_cast<volatile int*>(nullptr) = 1;
    if (mode == "abort") std::abort();
    if (mode == "exit-zero") std::exit(0);
    if (mode == "terminate") ThrowThrough();
    if (mode == "hang")
        for (;;) Sleep(1000);
    // These three only end the run in the hardened build, whose checks catch them.
    if (mode == "signed-overflow") EXPECT_NE(Add(INT_MAX, static_cast<int>(mode.size())), 0);
    if (mode == "out-of-range") EXPECT_NE(std::vector<int>(2)[mode.size()], 7);
    if (mode == "heap-fault") WriteAfterFree();
    EXPECT_NE(mode, "failure") << "a plain failed assertion";
}

TEST(CrashProbe, After) { EXPECT_TRUE(true); }

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--crash=", 8) == 0) mode = argv[i] + 8;
    return RUN_ALL_TESTS();
}
