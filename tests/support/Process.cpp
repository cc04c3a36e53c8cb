#include "support/Process.h"

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace test {

ProcessResult RunProcess(const std::string& commandLine, unsigned long timeoutMilliseconds) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) throw std::runtime_error("CreatePipe failed");
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::vector<char> command(commandLine.begin(), commandLine.end());
    command.push_back('\0');
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        throw std::runtime_error("cannot start: " + commandLine);
    }
    CloseHandle(writeEnd);

    // Read while it runs, so a full pipe never stalls it, and end it when its time is up.
    ProcessResult result;
    const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
    char buffer[4096];
    for (;;) {
        DWORD available = 0, got = 0;
        const bool open = PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) != 0;
        if (open && available > 0) {
            if (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) result.output.append(buffer, got);
            continue;
        }
        if (!open) break;  // the program and everything it started have closed the pipe
        if (GetTickCount64() > deadline) {
            result.timedOut = true;
            TerminateProcess(process.hProcess, 1);
            break;
        }
        WaitForSingleObject(process.hProcess, 10);
    }
    CloseHandle(readEnd);
    std::erase(result.output, '\r');
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return result;
}

}  // namespace test
