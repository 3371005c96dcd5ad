// The application host's needs on POSIX systems.
#include <sched.h>
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
    // A zero wait only gives other threads their turn. As a sleep it would cost a timer, which
    // the kernel's timer slack stretches to some 50 microseconds, in every pass of a tight
    // DoEvents(0) loop.
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    timespec remaining{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    // A signal that interrupts the sleep does not shorten it.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

}  // namespace tintcheck::os
