// Running the application under the operating system's service manager.
#pragma once

#include "platform/service_application.h"

namespace tintcheck {

class ServiceHost {
public:
    // Offers the process to the service manager. Returns true when the service manager started
    // the process and ran the application as a service, which has ended by now; false at once
    // when the process was started otherwise.
    static bool OfferToServiceManager(ServiceApplication& application, int argc, char** argv);
};

}  // namespace tintcheck
