// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The subcommands of `vyx`. Each gets the arguments from its own name on
// (argv[0] is the subcommand's name) and returns the exit status.
// A new subcommand is one declaration here, one line in the table in main.cpp
// and its own source file.
#include <filesystem>

int RunDump(int argc, char** argv);
int RunBuild(int argc, char** argv);
int RunSim(int argc, char** argv);
int RunRead(int argc, char** argv);
int RunWrite(int argc, char** argv);
int RunReset(int argc, char** argv);
int RunWalk(int argc, char** argv);
int RunMonitor(int argc, char** argv);
int RunCalibrate(int argc, char** argv);
int RunScan(int argc, char** argv);
int RunIdent(int argc, char** argv);
int RunBackup(int argc, char** argv);
int RunDiff(int argc, char** argv);
int RunRestore(int argc, char** argv);
int RunReport(int argc, char** argv);
int RunHistory(int argc, char** argv);
int RunPorts(int argc, char** argv);

// Exit statuses shared by the subcommands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the command could not do its work
inline constexpr int kExitUsage = 2;    // wrong arguments
// A service command (scan, backup, diff, restore) did its work but the result
// is not clean: differences found, a snapshot incomplete, a restored register
// that did not take, nothing found by a scan.
inline constexpr int kExitNotClean = 3;
// `vyx monitor --stable` ended before the readings settled, and none failed
// (the master commands tell a failed reading with 2 to 4, tools/vyx/Master.h).
inline constexpr int kExitUnstable = 5;

// True when argv[1..] asks for help ("--help" or "-h").
bool WantsHelp(int argc, char** argv);

// The folder of the running executable, where the device files lie.
std::filesystem::path ProgramFolder();

// Ctrl-C and SIGTERM call the handler (which sets a flag), so a long command can
// end cleanly with what it has printed so far.
void CatchInterrupt(void (*handler)(int));
