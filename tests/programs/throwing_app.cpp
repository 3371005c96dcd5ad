// A small application whose message handler, run by DoEvents, raises the exception that its
// first argument names. It reports its own events on standard output.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "messaging/easy_udp_socket.h"
#include "platform/application_host.h"
#include "platform/service_application.h"

namespace tintcheck {
namespace {

std::string gMode;

void Say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

class Thrower : public EasyUDPSocket {
protected:
    void Event_ReceivedMessage(const std::string&, std::int32_t, const std::string&) override {
        if (gMode == "nil") {
            Ref<Datagram> nothing;
            Say(nothing->Address);
        }
        if (gMode == "runtime") throw RuntimeException("Something broke", -42);
        if (gMode == "end") throw EndException("ending");
        if (gMode == "thread-end") throw ThreadEndException();
        if (gMode == "foreign") throw std::runtime_error("not one of ours");
    }
};

class ThrowingApp : public ServiceApplication {
protected:
    std::int32_t Event_Run(const std::vector<std::string>& args) override {
        gMode = args.size() > 1 ? args[1] : "";
        if (gMode == "return") return 3;
        mSocket = New<Thrower>();
        mSocket->Bind(9090);
        mSocket->Register("abc");
        mSocket->SendMessageToGroup("abc", 1, "x");
        for (;;) DoEvents(10);
    }
    bool Event_UnhandledException(const RuntimeException& error) override {
        Say(std::string("UnhandledException ") + error.ClassName());
        return true;
    }
    void Event_Stop(bool shuttingDown) override { Say(shuttingDown ? "Stop(True)" : "Stop(False)"); }
    bool Event_DontDaemonize() override {
        Say("DontDaemonize");
        return false;
    }

private:
    Ref<Thrower> mSocket;
};

}  // namespace
}  // namespace tintcheck

int main(int argc, char** argv) { return tintcheck::ApplicationHost::Main<tintcheck::ThrowingApp>(argc, argv); }
