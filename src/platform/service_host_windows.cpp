// Running the application under the Windows service manager. The service main routine raises
// Run on the thread the service manager gives it; the main thread meanwhile serves the service
// controls and touches nothing but the service status.
#include <windows.h>

#include <cstdlib>
#include <mutex>

#include "platform/application_host.h"
#include "platform/host_system.h"
#include "platform/service_host.h"

namespace tintcheck {

namespace {

// The service's name in the service manager; install the agent under this name.
char kServiceName[] = "tintCHECK_AutoDiscover";

constexpr DWORD kAcceptedControls = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN;

ServiceApplication* gApplication = nullptr;
int gArgc = 0;
char** gArgv = nullptr;
bool gRunRaised = false;
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
SERVICE_STATUS gStatus{SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, kAcceptedControls, NO_ERROR, 0, 0, 0};
std::mutex gStatusLock;  // the two threads both report

void Report(DWORD state, DWORD exitCode = NO_ERROR) {
    const std::lock_guard<std::mutex> lock(gStatusLock);
    gStatus.dwCurrentState = state;
    gStatus.dwWin32ExitCode = exitCode;
    SetServiceStatus(gStatusHandle, &gStatus);
}

void ReportAgain() {
    const std::lock_guard<std::mutex> lock(gStatusLock);
    SetServiceStatus(gStatusHandle, &gStatus);
}

class EndReports : public ServiceEndReports {
public:
    void StopPending() override { Report(SERVICE_STOP_PENDING); }
    void Stopped(std::int32_t exitStatus) override { Report(SERVICE_STOPPED, static_cast<DWORD>(exitStatus)); }
};

}  // namespace

// The service controls; runs on the main thread.
class ServiceHostControls {
public:
    static void WINAPI Handle(DWORD control) {
        ServiceApplication& application = *gApplication;
        switch (control) {
            case SERVICE_CONTROL_STOP:
            case SERVICE_CONTROL_SHUTDOWN:
                Report(SERVICE_STOP_PENDING);
                Raise([&] { application.Event_Stop(control == SERVICE_CONTROL_SHUTDOWN); });
                Report(SERVICE_STOPPED, NO_ERROR);
                break;
            case SERVICE_CONTROL_PAUSE:
                Report(SERVICE_PAUSE_PENDING);
                Raise([&] { application.Event_Pause(); });
                Report(SERVICE_PAUSED);
                break;
            case SERVICE_CONTROL_CONTINUE:
                Report(SERVICE_CONTINUE_PENDING);
                Raise([&] { application.Event_Resume(); });
                Report(SERVICE_RUNNING);
                break;
            case SERVICE_CONTROL_INTERROGATE:
                ReportAgain();
                break;
            default:
                break;
        }
    }

    static void WINAPI ServiceMain(DWORD argc, LPSTR* argv) {
        gStatusHandle = RegisterServiceCtrlHandlerA(kServiceName, &Handle);
        Report(SERVICE_RUNNING);
        gRunRaised = true;
        std::vector<std::string> args = os::CommandLineArguments(gArgc, gArgv);
        // The start arguments follow the command line; the first the service manager hands
        // over is the service's own name, which names no argument.
        for (DWORD i = 1; i < argc; ++i) args.emplace_back(argv[i]);
        EndReports reports;
        ApplicationHost::RunAndEnd(*gApplication, args, &reports);
    }

private:
    // A handler of a service control cannot keep the service from doing what it was told.
    template <class Event>
    static void Raise(Event event) noexcept {
        try {
            event();
        } catch (...) {
        }
    }
};

bool ServiceHost::OfferToServiceManager(ServiceApplication& application, int argc, char** argv) {
    gApplication = &application;
    gArgc = argc;
    gArgv = argv;
    SERVICE_TABLE_ENTRYA table[] = {{kServiceName, &ServiceHostControls::ServiceMain}, {nullptr, nullptr}};
    static_cast<void>(StartServiceCtrlDispatcherA(table));  // fails at once outside the service manager
    if (!gRunRaised) return false;
    // The service has been reported stopped: the process ends now, with the thread that runs the
    // application still in its loop.
    std::_Exit(application.ExitStatus());
}

}  // namespace tintcheck
