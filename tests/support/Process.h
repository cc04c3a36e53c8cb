#pragma once

#include <string>

namespace test {

struct ProcessResult {
    unsigned long exitCode = 0;
    std::string output;     // standard output and error together, "\n" line ends
    bool timedOut = false;  // it ran past its time and was ended
};

// A program that runs longer than this is taken for hung and ended.
inline constexpr unsigned long kProcessTimeoutMilliseconds = 120000;

// Runs a Windows program to completion (or its time limit) and collects what it printed.
ProcessResult RunProcess(const std::string& commandLine,
                         unsigned long timeoutMilliseconds = kProcessTimeoutMilliseconds);

}  // namespace test
