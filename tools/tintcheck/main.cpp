// tintcheck: looks at and talks to a discovery group, for the people who run the agent.
//
//   tintcheck members [--group NAME] [--port N] [--wait MS] [--json]
//   tintcheck watch   [--group NAME] [--port N]
//   tintcheck send    [--group NAME] [--port N] [--to ADDRESS] [--hex] COMMAND DATA
//   tintcheck address NAME
#include <CLI/CLI.hpp>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <vector>

#include "messaging/group_address.h"
#include "output.h"
#include "tool_member.h"

namespace tintcheck::tool {
namespace {

std::atomic<bool> gStop{false};

void StopOnSignal(int) { gStop = true; }

struct Failure {
    std::string reason;
};

struct Common {
    std::string group = "tintCHECK4";
    std::int32_t port = 9090;
};

void AddCommon(CLI::App& command, Common& common) {
    command.add_option("--group", common.group, "Group name")->capture_default_str();
    command.add_option("--port", common.port, "UDP port of the group")->check(CLI::Range(1, 65535))->capture_default_str();
}

Ref<ToolMember> Open(const Common& common) {
    Ref<ToolMember> member = New<ToolMember>();
    member->Bind(common.port);
    if (!member->IsConnected()) throw Failure{DescribeSocketError(member->firstError, common.port)};
    return member;
}

void Register(ToolMember& member, const Common& common) {
    member.Register(common.group);
    if (!member.IsConnected()) throw Failure{DescribeSocketError(member.firstError, common.port)};
}

void Line(const std::string& text) {
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
}

int Members(const Common& common, int waitMilliseconds, bool json) {
    const Ref<ToolMember> member = Open(common);
    bool heardItself = false;
    member->onJoined = [&](const std::string&) { heardItself = true; };
    Register(*member, common);
    // Its own announcement comes back first; only then does the list start empty.
    for (int slice = 0; slice < 50 && !heardItself; ++slice) member->RunEvents(std::chrono::milliseconds(10), gStop);
    member->onJoined = nullptr;
    member->UpdateMemberList();
    member->RunEvents(std::chrono::milliseconds(waitMilliseconds), gStop);
    if (member->firstError != 0) throw Failure{DescribeSocketError(member->firstError, common.port)};

    std::vector<std::string> order;
    std::map<std::string, int> answers;
    for (const std::string& address : *member->GetMemberList()) {
        if (answers[address]++ == 0) order.push_back(address);
    }
    if (json) {
        std::string text = "{\"group\":" + JsonString(common.group) + ",\"address\":" +
                           JsonString(HashGroupNameToIP(common.group)) + ",\"members\":[";
        for (std::size_t i = 0; i < order.size(); ++i) {
            text += (i ? "," : "") + std::string("{\"address\":") + JsonString(order[i]) +
                    ",\"answers\":" + std::to_string(answers[order[i]]) + "}";
        }
        Line(text + "]}");
    } else {
        for (const std::string& address : order) {
            const int count = answers[address];
            Line(address + "  (" + std::to_string(count) + (count == 1 ? " answer)" : " answers)"));
        }
    }
    return 0;
}

int Watch(const Common& common) {
    const Ref<ToolMember> member = Open(common);
    member->onJoined = [](const std::string& m) { Line(Timestamp() + "  joined   " + m); };
    member->onLeft = [](const std::string& m) { Line(Timestamp() + "  left     " + m); };
    member->onMessage = [](const std::string& from, std::int32_t command, const std::string& data) {
        Line(Timestamp() + "  message  " + from + "  command " + std::to_string(command) + "  " + ShowData(data));
    };
    Register(*member, common);
    while (!gStop) {
        member->RunEvents(std::chrono::milliseconds(1000), gStop);
        if (member->firstError != 0) throw Failure{DescribeSocketError(member->firstError, common.port)};
    }
    return 0;
}

std::string FromHex(const std::string& hex) {
    if (hex.size() % 2 != 0) throw Failure{"hex data needs an even number of digits"};
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        try {
            std::size_t used = 0;
            const int byte = std::stoi(hex.substr(i, 2), &used, 16);
            if (used != 2) throw std::invalid_argument(hex);
            bytes.push_back(static_cast<char>(byte));
        } catch (const std::exception&) {
            throw Failure{"not hex: " + hex};
        }
    }
    return bytes;
}

int Send(const Common& common, const std::string& to, std::int32_t command, const std::string& data) {
    const Ref<ToolMember> member = Open(common);
    if (to.empty()) {
        member->SendMessageToGroup(common.group, command, data);
    } else {
        member->SendMessageToIndividual(to, command, data);
    }
    if (member->firstError != 0) throw Failure{DescribeSocketError(member->firstError, common.port)};
    return 0;
}

int Main(int argc, char** argv) {
    CLI::App app{"Looks at and talks to a tintCHECK discovery group.", "tintcheck"};
    app.require_subcommand(1);
    app.failure_message([](const CLI::App*, const CLI::Error& error) {
        return std::string("tintcheck: ") + error.what() + "\n";
    });

    Common common;
    int waitMilliseconds = 1000;
    bool json = false;
    CLI::App* members = app.add_subcommand("members", "Ask the group for its members and list who answered");
    AddCommon(*members, common);
    members->add_option("--wait", waitMilliseconds, "How long to collect answers, in milliseconds")
        ->check(CLI::Range(0, 3600000))
        ->capture_default_str();
    members->add_flag("--json", json, "Print a JSON document");

    CLI::App* watch = app.add_subcommand("watch", "Stay registered and print each event until interrupted");
    AddCommon(*watch, common);

    std::string to;
    std::int32_t command = 0;
    std::string data;
    bool hex = false;
    CLI::App* send = app.add_subcommand("send", "Send one application message to the group or to one member");
    AddCommon(*send, common);
    send->add_option("--to", to, "A member's address; the whole group when left out");
    send->add_flag("--hex", hex, "DATA is written in hexadecimal");
    send->add_option("COMMAND", command, "Command code (a signed 32-bit number)")->required();
    send->add_option("DATA", data, "The message data")->required();

    std::string name;
    CLI::App* address = app.add_subcommand("address", "Print the multicast address of a group name");
    address->add_option("NAME", name, "Group name")->required();

    CLI11_PARSE(app, argc, argv);

    std::signal(SIGINT, StopOnSignal);
    std::signal(SIGTERM, StopOnSignal);
    try {
        if (*members) return Members(common, waitMilliseconds, json);
        if (*watch) return Watch(common);
        if (*send) return Send(common, to, command, hex ? FromHex(data) : data);
        Line(HashGroupNameToIP(name));
        return 0;
    } catch (const Failure& failure) {
        std::fputs(("tintcheck: " + failure.reason + "\n").c_str(), stderr);
        return 1;
    }
}

}  // namespace
}  // namespace tintcheck::tool

int main(int argc, char** argv) { return tintcheck::tool::Main(argc, argv); }
