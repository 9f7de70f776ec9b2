#pragma once

namespace wexal {

// The exit status of the program, as scripts and schedulers read it.
inline constexpr int kExitCompleted = 0;   // every file of the run completed
inline constexpr int kExitAborted = 1;     // the port was opened; the transfer did not complete
inline constexpr int kExitNotStarted = 2;  // nothing was opened or sent

// How one transfer of a command-line run ended.
enum class TransferEnd { Completed, Aborted, NotStarted };

// What the transfers an "S=" or "R=" argument asked for came to.
class RunOutcome {
public:
    // An "S=" or "R=" argument was given (whether or not its file was usable).
    void Request() { requested_ = true; }
    bool requested() const { return requested_; }
    void Record(TransferEnd end);
    // 0 for a run that asked for no transfer; else the worst of what was
    // recorded, and "not started" when nothing was.
    int ExitStatus() const;
    // Whether a run that ends after its transfer ends once the command line's
    // transfers have returned: always where nobody can see the window; with
    // a window when nothing could start, its boxes having said why. A person
    // who stopped a started transfer is there and keeps the program.
    bool EndsNow(bool exitAfterTransfer, bool unattended) const;

private:
    bool requested_ = false;
    int completed_ = 0;
    int aborted_ = 0;
    int notStarted_ = 0;
};

}  // namespace wexal
