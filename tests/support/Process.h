#pragma once

#include <string>

namespace test {

struct ProcessResult {
    unsigned long exitCode = 0;
    std::string output;  // standard output and error together, "\n" line ends
};

// Runs a Windows program to completion and collects what it printed.
ProcessResult RunProcess(const std::string& commandLine);

}  // namespace test
