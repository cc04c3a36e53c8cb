// A test program that dies part-way on purpose, so the suite can show that its test
// wrapper reports such a run as failed. `--crash=MODE` picks how the middle test ends.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

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

TEST(CrashProbe, Before) { EXPECT_TRUE(true); }

TEST(CrashProbe, EndsAsTold) {
    if (mode == "stack-overflow") std::exit(Recurse(0));
    if (mode == "access-violation") *static_cast<volatile int*>(nullptr) = 1;
    if (mode == "abort") std::abort();
    if (mode == "exit-zero") std::exit(0);
    if (mode == "terminate") ThrowThrough();
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
