// The application host's needs on POSIX systems.
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/host_system.h"

namespace tintcheck::os {

std::vector<std::string> CommandLineArguments(int argc, char** argv) { return {argv, argv + argc}; }

void WriteStandardError(std::string_view text) noexcept {
    while (!text.empty()) {
        const ssize_t written = write(STDERR_FILENO, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

void SleepMilliseconds(std::int32_t milliseconds) noexcept {
    timespec remaining{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    // A signal that interrupts the sleep does not shorten it.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

}  // namespace tintcheck::os
