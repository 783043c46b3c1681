// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// The line protocol between `tessiro ctl` and a running bridge, over a local
// socket of the user's runtime folder (socketPath below):
//
//   request:  COMMAND LF
//   reply:    zero or more data lines "| TEXT" LF, then one status line,
//             "OK" LF or "ERR TEXT" LF; then the bridge closes.
//
// Texts are UTF-8. Every data line starts with "| ", so no text the bridge
// shows (a printer's error text, a label) can pass for the status line.
namespace control {

// Where the control sockets of a user may go: what the environment says,
// and the user's folder of the system's runtime tree (/run/user/UID).
struct SocketPlaces {
    std::string runtimeDir; // $XDG_RUNTIME_DIR
    std::filesystem::path userRun;
    std::string cacheHome; // $XDG_CACHE_HOME
    std::string home;      // $HOME, else the user's entry in the password file
    unsigned uid = 0;
};
SocketPlaces socketPlaces();

// The folder of the control sockets, and what the bridge says on standard
// error when it had to fall back to a folder another user could take
// first (empty otherwise). Never the program folder: shops keep it on a
// network share, where no local socket can be made.
struct SocketFolder {
    std::filesystem::path path;
    std::string note;
};
SocketFolder chooseSocketFolder(const SocketPlaces& places);
// chooseSocketFolder(socketPlaces()): the bridge and `ctl` both find the
// folder here.
std::filesystem::path socketFolder();
// The longest socket path a socket address holds (sun_path, its NUL
// excluded).
inline constexpr std::size_t MaxSocketPath = 107;
// The control socket of the bridge on programDir, named from the folder's
// canonical path, so every spelling of the folder finds the same bridge.
std::filesystem::path socketPath(const std::filesystem::path& programDir);
// Creates the socket folder when missing (mode 0700) and checks that it is
// a real folder of this user that no one else can enter. False with `why`.
bool prepareSocketFolder(const std::filesystem::path& folder, std::string& why);

inline constexpr std::string_view DataPrefix = "| ";
inline constexpr std::string_view StatusOk = "OK";
inline constexpr std::string_view StatusError = "ERR ";

// A request longer than this is refused unread: no command comes near it.
inline constexpr std::size_t MaxRequest = 256;
// The client refuses a longer reply; the bridge cuts each text it sends to
// MaxText bytes, so a well-formed reply stays far below.
inline constexpr std::size_t MaxReply = 256 * 1024;
inline constexpr std::size_t MaxText = 16 * 1024;
// Connections served at once; more are turned away at once.
inline constexpr int MaxClients = 16;

// How long the bridge gives a client to send its request and take the
// reply. The bridge never waits on a client: the timer only ends a
// connection that overstays.
inline constexpr std::chrono::milliseconds ServerClientTimeout{5000};
// How long the client waits for the whole reply. A bridge in the middle of a
// batch answers only when the batch is over; a client that gave up is not
// served later (the bridge looks before it runs a command).
inline constexpr std::chrono::milliseconds ClientTimeout{30000};
// A second window start only asks the running bridge to show itself.
inline constexpr std::chrono::milliseconds ShowWindowTimeout{5000};

// The commands themselves, with their names and help, are the table of
// OperatorCommands.h.

// `ctl stato --json` sends this request.
inline constexpr char StatoJson[] = "stato --json";

} // namespace control
