// Starts the process's application, as a service where a service manager started the process
// and as a console program otherwise, raises Run once and ends the application when Run
// returns or an exception that nobody caught leaves it.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "platform/console_application.h"
#include "platform/exceptions.h"

namespace tintcheck {

// Status reports around the end of a service; absent in console mode.
class ServiceEndReports {
public:
    virtual void StopPending() = 0;
    virtual void Stopped(std::int32_t exitStatus) = 0;

protected:
    ~ServiceEndReports() = default;
};

class ApplicationHost {
public:
    using Factory = Ref<ConsoleApplication> (*)();

    // The whole life of the process; returns its exit status. The application object is never
    // destroyed: no ending releases what it owns.
    static int Main(int argc, char** argv, Factory create);

    template <class T>
    static int Main(int argc, char** argv) {
        return Main(argc, argv, [] { return Ref<ConsoleApplication>(New<T>()); });
    }

    // Raises DontDaemonize and Run with `args`, then ends the application: the uncaught-exception
    // report when one left Run, and Stop(False) between the service's end reports.
    static void RunAndEnd(ConsoleApplication& application, const std::vector<std::string>& args,
                          ServiceEndReports* reports);

    // The three-line report of an exception that nobody caught, without a final line break.
    static std::string UncaughtExceptionReport(const RuntimeException& error);

    // Ends the process after an exception that could not travel on (one raised by a Destructor).
    [[noreturn]] static void EndAfterUncaughtException(std::exception_ptr error) noexcept;

private:
    static void ReportUncaught(ConsoleApplication* application, std::exception_ptr error) noexcept;
    static void RaiseStop(ConsoleApplication& application, bool shuttingDown) noexcept;
};

}  // namespace tintcheck
