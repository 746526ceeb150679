// An unattended operator for kvrhost: answers the windows a script function opens, so that a
// scan or the viewer can run without anyone at the workstation (the main job, a demonstration,
// a check of a workstation).
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace kavrel::hoststandin {

struct RobotAction {
    enum Kind { PressButton, RunWhenShown } kind;
    int buttonId = 0;           // PressButton: pressed in the next new window that has it
    std::string windowClass;    // RunWhenShown: the window waited for
    std::string command;        // RunWhenShown: a Linux command, {x} {y} {w} {h} the window's rectangle
};

class OperatorRobot {
public:
    // Watches the top-level windows of `thread` and carries out the actions in order.
    OperatorRobot(std::vector<RobotAction> actions, DWORD thread);
    ~OperatorRobot();
    OperatorRobot(const OperatorRobot&) = delete;
    OperatorRobot& operator=(const OperatorRobot&) = delete;

private:
    void Run();
    std::vector<RobotAction> actions_;
    DWORD thread_;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

}  // namespace kavrel::hoststandin
