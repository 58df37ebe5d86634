// Subcommands of orvane-tool. Each takes the arguments after its name and
// returns the exit code: 0 done, 1 usage, 2 unreadable input, 3 nothing written.
#pragma once

constexpr int toolUsageError = 1;
constexpr int toolInputError = 2;
constexpr int toolOutputError = 3;

int runSaveCommand(int argc, char** argv);
int runPrefsCommand(int argc, char** argv);
int runExpandCommand(int argc, char** argv);
int runFoldCommand(int argc, char** argv);
int runHdrTableCommand(int argc, char** argv);
