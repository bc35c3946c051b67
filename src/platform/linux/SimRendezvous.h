#pragma once

#include <string>

namespace tavoro {

// Where the client and the stand-in simulator meet on this machine: one folder holding
// the sockets that stand for the simulator's windows and connection, and nothing else
// (the FSUIPC block travels over its socket). It is private to the user (mode 0700), so
// another user can neither read the aircraft nor command the simulator.
//
// TAVORO_SIM_DIR names it; by default it is "tavoro-sim" under the runtime folder
// ($XDG_RUNTIME_DIR), or /tmp/tavoro-sim-<uid> where there is none.
std::string SimRendezvousFolder();

// The socket names inside the folder.
inline constexpr char kUipcmainSocket[] = "UIPCMAIN";
inline constexpr char kFs98mainSocket[] = "FS98MAIN";
inline constexpr char kSimConnectSocket[] = "SimConnect";

// Creates `folder` (and its parents) when missing, with mode 0700. An existing folder
// must be a directory owned by this user; its mode is narrowed to 0700. Returns the
// reason when the folder cannot be used, the empty text when it can.
std::string PreparePrivateFolder(const std::string& folder);

}  // namespace tavoro
