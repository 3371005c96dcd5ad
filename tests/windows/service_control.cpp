// A small service controller for the tests: the command line of the service manager here
// cannot pause or continue a service.
//
// Usage: service_control.exe ACTION NAME [ARGS]
//   query                         print status line
//   pause|continue|interrogate|stop   ControlService, then print status line
//   wait STATE [TIMEOUT_MS]       poll every 50 ms until dwCurrentState == STATE
//   create BINPATH                CreateServiceA (own process, demand start)
//   start [ARG...]                StartServiceA
//   delete                        DeleteService
// Status line: state=N type=0xN controls=0xN win32exit=N svcexit=N pid=N
// Exit code: 0 on success, otherwise the Win32 error code (1 for usage, 258 for wait timeout).
//
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

static int fail(const char* what) {
    DWORD e = GetLastError();
    std::printf("%s failed: error %lu\n", what, e);
    return e ? static_cast<int>(e) : 1;
}

static bool query(SC_HANDLE svc, SERVICE_STATUS_PROCESS& sp) {
    DWORD needed = 0;
    return QueryServiceStatusEx(svc, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&sp), sizeof sp, &needed);
}

static void print_status(const SERVICE_STATUS_PROCESS& sp) {
    std::printf("state=%lu type=0x%lx controls=0x%lx win32exit=%lu svcexit=%lu pid=%lu\n", sp.dwCurrentState,
                sp.dwServiceType, sp.dwControlsAccepted, sp.dwWin32ExitCode, sp.dwServiceSpecificExitCode,
                sp.dwProcessId);
}

int main(int argc, char** argv) {
    if (argc < 3) {
        std::printf("usage: service_control ACTION NAME [ARGS]\n");
        return 1;
    }
    const char* action = argv[1];
    const char* name = argv[2];
    SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!scm) return fail("OpenSCManagerA");

    if (!std::strcmp(action, "create")) {
        if (argc < 4) return 1;
        SC_HANDLE s = CreateServiceA(scm, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, argv[3], nullptr, nullptr, nullptr,
                                     nullptr, nullptr);
        if (!s) return fail("CreateServiceA");
        std::printf("created\n");
        CloseServiceHandle(s);
        CloseServiceHandle(scm);
        return 0;
    }

    SC_HANDLE svc = OpenServiceA(scm, name, SERVICE_ALL_ACCESS);
    if (!svc) return fail("OpenServiceA");
    SERVICE_STATUS_PROCESS sp{};
    int rc = 0;

    if (!std::strcmp(action, "query")) {
        if (!query(svc, sp)) return fail("QueryServiceStatusEx");
        print_status(sp);
    } else if (!std::strcmp(action, "start")) {
        std::vector<const char*> args(argv + 3, argv + argc);
        if (!StartServiceA(svc, static_cast<DWORD>(args.size()), args.empty() ? nullptr : args.data()))
            return fail("StartServiceA");
        std::printf("start requested\n");
    } else if (!std::strcmp(action, "delete")) {
        if (!DeleteService(svc)) return fail("DeleteService");
        std::printf("deleted\n");
    } else if (!std::strcmp(action, "wait")) {
        if (argc < 4) return 1;
        DWORD want = static_cast<DWORD>(std::atoi(argv[3]));
        DWORD timeout = argc > 4 ? static_cast<DWORD>(std::atoi(argv[4])) : 10000;
        DWORD t0 = GetTickCount();
        for (;;) {
            if (!query(svc, sp)) return fail("QueryServiceStatusEx");
            if (sp.dwCurrentState == want) break;
            if (GetTickCount() - t0 > timeout) {
                rc = WAIT_TIMEOUT;
                std::printf("timeout; ");
                break;
            }
            Sleep(50);
        }
        std::printf("after %lu ms: ", GetTickCount() - t0);
        print_status(sp);
    } else {
        DWORD control;
        if (!std::strcmp(action, "pause")) control = SERVICE_CONTROL_PAUSE;
        else if (!std::strcmp(action, "continue")) control = SERVICE_CONTROL_CONTINUE;
        else if (!std::strcmp(action, "interrogate")) control = SERVICE_CONTROL_INTERROGATE;
        else if (!std::strcmp(action, "stop")) control = SERVICE_CONTROL_STOP;
        else {
            std::printf("unknown action %s\n", action);
            return 1;
        }
        SERVICE_STATUS st{};
        if (!ControlService(svc, control, &st)) return fail("ControlService");
        std::printf("ControlService returned state=%lu controls=0x%lx\n", st.dwCurrentState, st.dwControlsAccepted);
        if (query(svc, sp)) print_status(sp);
    }
    CloseServiceHandle(svc);
    CloseServiceHandle(scm);
    return rc;
}
