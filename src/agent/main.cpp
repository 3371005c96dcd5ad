#include "agent/app.h"
#include "platform/application_host.h"

int main(int argc, char** argv) { return tintcheck::ApplicationHost::Main<tintcheck::App>(argc, argv); }
