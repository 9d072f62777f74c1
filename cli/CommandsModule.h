// The boundary between lumenor-cli and its commands: the program itself loads only Qt Core, answers
// what it can alone (`info` on the common formats) and hands everything else to the commands module,
// which holds the codecs, painting and every command.
#pragma once

#define LUMENOR_COMMANDS_MODULE_FILE "liblumenor-commands.so"
#define LUMENOR_COMMANDS_MODULE_ENTRY "LumenorCommandsModule"

// Raised whenever the table below changes, so a program never calls a module of another build.
constexpr int kCommandsModuleVersion = 1;

struct TCommandsModule {
    // Runs the command line as lumenor-cli does and gives its exit status.
    int (*Main)(int argc, char** argv);
};

// The module's entry: its table, or nullptr when it was built for another version of the table.
extern "C" using TCommandsModuleEntry = const TCommandsModule* (*)(int version);
