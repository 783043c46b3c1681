// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

// The client side of `tessiro ctl`: one request to the bridge running on a
// program directory, waited for with blocking calls (it runs in its own
// process, or off the bridge's thread).
struct ControlReply {
    enum class Status {
        Done,     // the bridge ran the command
        Refused,  // the bridge answered with a refusal (message says why)
        NoBridge, // nobody listens on the folder's socket
        NoAnswer, // connected, but no complete reply in time
        BadReply, // the reply broke the protocol or its bounds
    };
    Status status = Status::NoBridge;
    std::vector<std::string> lines; // data lines, UTF-8, without their prefix
    std::string message;            // for anything but Done, in English
};

ControlReply askBridge(const std::filesystem::path& programDir, const std::string& command,
                       std::chrono::milliseconds timeout);

// Exit status of `tessiro ctl` besides 0 (done) and 2 (usage).
inline constexpr int ExitControlRefused = 1;
inline constexpr int ExitNoBridge = 4;

// tessiro ctl: sends the command, prints the data lines on `out` and any
// problem on `err`; returns the exit status.
int runControl(const std::filesystem::path& programDir, const std::string& command, std::ostream& out,
               std::ostream& err, std::chrono::milliseconds timeout);
