#include "ftp/FtpRequestPhase.h"

bool PhaseMoveAllowed(TRequestPhase From, TRequestPhase To) {
    using P = TRequestPhase;
    if (From == To || To == P::Idle || To == P::Running) return true;
    switch (To) {
        // Only a step that ended well leads on to the next one.
        case P::BetweenSteps: return From != P::Idle;
        // A command goes out from a step that runs, or opens a step.
        case P::ReplyOwed: return From == P::Idle || From == P::BetweenSteps || From == P::Running;
        case P::DataReplyOwed: return From == P::Idle || From == P::BetweenSteps || From == P::Running;
        // Only an owed reply can come, or be lost.
        case P::DataReplied:
        case P::DataUnanswered: return From == P::DataReplyOwed;
        default: return false;
    }
}

const char* PhaseName(TRequestPhase Phase) {
    switch (Phase) {
        case TRequestPhase::Idle: return "Idle";
        case TRequestPhase::BetweenSteps: return "BetweenSteps";
        case TRequestPhase::Running: return "Running";
        case TRequestPhase::ReplyOwed: return "ReplyOwed";
        case TRequestPhase::DataReplyOwed: return "DataReplyOwed";
        case TRequestPhase::DataReplied: return "DataReplied";
        case TRequestPhase::DataUnanswered: return "DataUnanswered";
    }
    return "?";
}
