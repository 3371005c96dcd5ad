// POSIX systems have no service manager that talks to the process itself: a supervisor such as
// an init system starts it as a console program, so the offer always fails at once.
#include "platform/service_host.h"

namespace tintcheck {

bool ServiceHost::OfferToServiceManager(ServiceApplication&, int, char**) { return false; }

}  // namespace tintcheck
