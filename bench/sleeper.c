/* The floor for the agent's footprint: a program that does nothing but wake every 100 ms, as
 * the agent's event loop does when no datagram arrives. */
#include <time.h>

int main(void) {
    const struct timespec step = {0, 100 * 1000 * 1000};
    for (;;) nanosleep(&step, 0);
}
