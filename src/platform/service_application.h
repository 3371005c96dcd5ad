// An application that can also run under a service manager. Where there is none, it runs as a
// console program.
#pragma once

#include "platform/console_application.h"

namespace tintcheck {

class ServiceApplication : public ConsoleApplication {
protected:
    // Events; each does nothing unless a subclass handles it. In service mode Stop, Pause and
    // Resume are raised on the thread that serves the service controls.
    virtual void Event_Stop(bool shuttingDown) { static_cast<void>(shuttingDown); }
    virtual void Event_Pause() {}
    virtual void Event_Resume() {}
    virtual bool Event_DontDaemonize() { return false; }

private:
    friend class ApplicationHost;
    friend class ServiceHost;
    friend class ServiceHostControls;
};

}  // namespace tintcheck
