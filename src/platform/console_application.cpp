#include "platform/console_application.h"

#include "platform/host_system.h"
#include "platform/socket_poll_list.h"

namespace tintcheck {

namespace {
ConsoleApplication* gApplication = nullptr;
}

ConsoleApplication::ConsoleApplication() {
    if (gApplication != nullptr) throw RuntimeException("Only one application object can exist.");
    gApplication = this;
}

ConsoleApplication::~ConsoleApplication() { gApplication = nullptr; }

Ref<ConsoleApplication> ConsoleApplication::Current() {
    if (gApplication == nullptr) return nullptr;
    if (auto owner = gApplication->weak_from_this().lock()) {
        return Ref<ConsoleApplication>(std::static_pointer_cast<ConsoleApplication>(owner));
    }
    // An application that is not shared (made on the stack) is handed out without ownership.
    return Ref<ConsoleApplication>(std::shared_ptr<ConsoleApplication>(std::shared_ptr<void>(), gApplication));
}

void ConsoleApplication::DoEvents(std::int32_t milliseconds) {
    SocketPollList::PollAll();
    if (milliseconds >= 0) os::SleepMilliseconds(milliseconds);
}

std::int32_t ConsoleApplication::Event_Run(const std::vector<std::string>&) { return 0; }

bool ConsoleApplication::Event_UnhandledException(const RuntimeException&) { return false; }

}  // namespace tintcheck
