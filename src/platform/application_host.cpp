#include "platform/application_host.h"

#include <cstdlib>
#include <string>
#include <typeinfo>

#if defined(__GNUC__)
#include <cxxabi.h>
#endif

#include "platform/host_system.h"
#include "platform/service_application.h"
#include "platform/service_host.h"

namespace tintcheck {

namespace {

// Stands for an exception of another family in the report, under its own class name.
class ForeignException : public RuntimeException {
public:
    ForeignException(std::string message, std::string className)
        : RuntimeException(std::move(message)), mClassName(std::move(className)) {}
    const char* ClassName() const noexcept override { return mClassName.c_str(); }

private:
    std::string mClassName;
};

std::string TypeName(const std::type_info& type) {
#if defined(__GNUC__)
    int status = 0;
    char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    if (status == 0 && demangled != nullptr) {
        std::string name(demangled);
        std::free(demangled);
        return name;
    }
#endif
    return type.name();
}

// Runs `report` with the exception as a RuntimeException; false for the host's own signals,
// which end the application without a report.
template <class Report>
void WithRuntimeException(std::exception_ptr error, Report report) {
    try {
        std::rethrow_exception(error);
    } catch (const EndException&) {
    } catch (const ThreadEndException&) {
    } catch (const RuntimeException& runtime) {
        report(runtime);
    } catch (const std::exception& other) {
        report(ForeignException(other.what(), TypeName(typeid(other))));
    } catch (...) {
        report(ForeignException("", "UnknownException"));
    }
}

}  // namespace

int ApplicationHost::Main(int argc, char** argv, Factory create) {
    // Held for the life of the process and never released.
    static auto* const kept = new Ref<ConsoleApplication>();
    ConsoleApplication* application = nullptr;
    try {
        *kept = create();
        application = kept->Get();
    } catch (...) {
        ReportUncaught(nullptr, std::current_exception());
        return 0;
    }
    auto* service = dynamic_cast<ServiceApplication*>(application);
    if (service != nullptr && ServiceHost::OfferToServiceManager(*service, argc, argv)) {
        return application->ExitStatus();
    }
    RunAndEnd(*application, os::CommandLineArguments(argc, argv), nullptr);
    return application->ExitStatus();
}

void ApplicationHost::RunAndEnd(ConsoleApplication& application, const std::vector<std::string>& args,
                                ServiceEndReports* reports) {
    try {
        if (auto* service = dynamic_cast<ServiceApplication*>(&application)) {
            static_cast<void>(service->Event_DontDaemonize());
        }
        application.mExitStatus = application.Event_Run(args);
    } catch (...) {
        ReportUncaught(&application, std::current_exception());
    }
    if (reports != nullptr) reports->StopPending();
    RaiseStop(application, false);
    if (reports != nullptr) reports->Stopped(application.mExitStatus);
}

std::string ApplicationHost::UncaughtExceptionReport(const RuntimeException& error) {
    return "Exception Message: " + error.Message + "\nException Error Number: " + std::to_string(error.ErrorNumber) +
           "\nAn exception of class " + error.ClassName() + " was not handled.  The application must shut down.";
}

void ApplicationHost::ReportUncaught(ConsoleApplication* application, std::exception_ptr error) noexcept {
    try {
        WithRuntimeException(error, [&](const RuntimeException& runtime) {
            if (application != nullptr) {
                // A handler may look at the exception; it cannot keep the application alive.
                try {
                    static_cast<void>(application->Event_UnhandledException(runtime));
                } catch (...) {
                }
            }
            os::WriteStandardError(UncaughtExceptionReport(runtime));
        });
    } catch (...) {
    }
}

void ApplicationHost::RaiseStop(ConsoleApplication& application, bool shuttingDown) noexcept {
    auto* service = dynamic_cast<ServiceApplication*>(&application);
    if (service == nullptr) return;
    try {
        service->Event_Stop(shuttingDown);
    } catch (...) {
    }
}

void ApplicationHost::EndAfterUncaughtException(std::exception_ptr error) noexcept {
    const Ref<ConsoleApplication> application = ConsoleApplication::Current();
    ReportUncaught(application.Get(), error);
    if (application) RaiseStop(*application, false);
    std::_Exit(application ? application->ExitStatus() : 0);
}

namespace detail {
void EndWithExceptionFromDestructor(std::exception_ptr error) noexcept {
    ApplicationHost::EndAfterUncaughtException(error);
}
}  // namespace detail

}  // namespace tintcheck
