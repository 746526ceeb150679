// The test programs' main: GoogleTest, with every test case bounded in time and every crash
// reported.
//
// A test program runs a whole suite in one Wine process (a process start costs about a second
// under the i386 emulator), so a case that hangs would otherwise hold the suite until CTest's
// time-out for all of it, and say nothing about which case it was. The watchdog names the case
// and ends the process. A crash ends the process at once with the case's name and the exception:
// Wine's own report is off in the tests (WINEDEBUG=-all) and its debugger is kept from starting.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

// Generous: the slowest case takes a few seconds natively and some ten times that under emulation.
constexpr auto kCaseLimit = std::chrono::seconds(180);
// From the last case to the end of the process (static destructors, DLLs detaching).
constexpr auto kExitLimit = std::chrono::seconds(60);

std::mutex runningMutex;
std::string runningCase = "(before the first test)";

void Report(const char* what) {
    std::string name;
    {
        std::lock_guard<std::mutex> lock(runningMutex);
        name = runningCase;
    }
    std::fprintf(stderr, "\n[  ABORT   ] %s: %s\n", name.c_str(), what);
    std::fflush(stderr);
    std::fflush(stdout);
}

class Watchdog : public ::testing::EmptyTestEventListener {
public:
    Watchdog() : thread_([this] { Run(); }) {}
    ~Watchdog() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    void OnTestStart(const ::testing::TestInfo& info) override {
        {
            std::lock_guard<std::mutex> lock(runningMutex);
            runningCase = std::string(info.test_suite_name()) + "." + info.name();
        }
        Arm(kCaseLimit, "did not end in time");
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        {
            std::lock_guard<std::mutex> lock(runningMutex);
            runningCase = "(between tests)";
        }
        Arm(kCaseLimit, "the time between two tests ran out");
    }
    void OnTestProgramEnd(const ::testing::UnitTest&) override {
        {
            std::lock_guard<std::mutex> lock(runningMutex);
            runningCase = "(after the last test)";
        }
        Arm(kExitLimit, "the test program did not end in time");
    }

private:
    void Arm(std::chrono::seconds limit, const char* what) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            deadline_ = std::chrono::steady_clock::now() + limit;
            what_ = what;
        }
        changed_.notify_all();
    }

    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            if (changed_.wait_until(lock, deadline_) == std::cv_status::timeout &&
                std::chrono::steady_clock::now() >= deadline_ && !stop_) {
                Report(what_);
                ::TerminateProcess(::GetCurrentProcess(), 124);
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::now() + kCaseLimit;
    const char* what_ = "the test program did not start its first test in time";
    bool stop_ = false;
    std::thread thread_;
};

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
    char what[160];
    const EXCEPTION_RECORD* record = exception ? exception->ExceptionRecord : nullptr;
    std::snprintf(what, sizeof what, "crashed with exception %08lX at address %p",
                  record ? static_cast<unsigned long>(record->ExceptionCode) : 0ul,
                  record ? record->ExceptionAddress : nullptr);
    Report(what);
    // Ends the process here: no debugger, no further handler.
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv) {
    ::SetUnhandledExceptionFilter(ReportCrash);
    // No "program has stopped working" box: a crash must end the process, not wait for a click.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::testing::InitGoogleTest(&argc, argv);
    // Owned by GoogleTest once appended.
    ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    return RUN_ALL_TESTS();
}
