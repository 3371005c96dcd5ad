// What the application host needs of the operating system. One implementation per OS
// (host_system_posix.cpp, host_system_windows.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tintcheck::os {

// The process's command line as an argument array; element 0 names the program.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Writes the bytes unchanged (no line-end translation) and unbuffered.
void WriteStandardError(std::string_view text) noexcept;

// Blocks the calling thread for the whole time, whatever arrives meanwhile; zero only lets other
// threads run.
void SleepMilliseconds(std::int32_t milliseconds) noexcept;

}  // namespace tintcheck::os
