// The application object of a console program: one per process. The host raises Run once;
// the program hands control to the event loop through DoEvents.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/object.h"

namespace tintcheck {

class ConsoleApplication : public Object {
public:
    // Becomes the process's application object; making a second one raises RuntimeException.
    ConsoleApplication();
    ~ConsoleApplication() override;

    // The process's application object; nil before one is made.
    static Ref<ConsoleApplication> Current();

    // One pass of the event loop: polls every socket that has ever connected once, the most
    // recently connected first (their handlers run inside this call), then blocks the thread for
    // `milliseconds`. Nothing ends the wait early; a negative value means no wait.
    virtual void DoEvents(std::int32_t milliseconds = -1);

    std::int32_t ExitStatus() const noexcept { return mExitStatus; }

protected:
    // Events; each does nothing unless a subclass handles it.
    virtual std::int32_t Event_Run(const std::vector<std::string>& args);
    // Raised before an exception that nobody caught ends the application; cannot prevent it.
    virtual bool Event_UnhandledException(const RuntimeException& error);

private:
    friend class ApplicationHost;

    std::int32_t mExitStatus = 0;
};

}  // namespace tintcheck
