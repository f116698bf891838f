#pragma once
// Starts a program from a command line, as the runtime's Shell does, without
// waiting for it.

#include "ui/logic/sys_info.h"

namespace dorvane::win32ui {

class Win32ProgramStarter final : public ui::ProgramStarter {
public:
    // The command line goes to the system unchanged; windowStyle is the
    // show-window value of its first window (1: normal, with the focus).
    // Throws dorvane::Error when the program cannot be started.
    void Start(const std::string& commandLine, int windowStyle) override;
};

}  // namespace dorvane::win32ui
