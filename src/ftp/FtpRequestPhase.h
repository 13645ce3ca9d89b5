// Where the engine's running request stands. One value replaces the flags
// that used to say it together ("completion posted", "final reply awaited",
// "data step active", "final reply seen"); it changes only through
// TCustomFtpCli::SetPhase, which checks each move against PhaseMoveAllowed.
#pragma once

enum class TRequestPhase {
    Idle,            // no request runs: the last one's end has been posted
    BetweenSteps,    // a chain's step ended well; its next step is being opened
    Running,         // a step runs and no reply is owed (yet, or any more)
    ReplyOwed,       // a command (or the greeting) was sent; its final reply is owed
    DataOpening,     // a data step runs; its transfer command has not gone out yet, the
                     // reply to it is owed all the same (losing the session fails the step)
    DataReplyOwed,   // a data step runs; the transfer command went out, its final reply is owed
    DataReplied,     // a data step's final reply came; its data connection's end is awaited
    DataUnsent,      // a data step runs whose transfer command has not gone out and whose
                     // reply can no longer come
    DataUnanswered,  // a data step runs whose transfer command went out; its final reply can
                     // no longer come
};

// The moves the engine makes; any other is a program error.
bool PhaseMoveAllowed(TRequestPhase From, TRequestPhase To);
const char* PhaseName(TRequestPhase Phase);
