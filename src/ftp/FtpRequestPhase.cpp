#include "ftp/FtpRequestPhase.h"

bool PhaseMoveAllowed(TRequestPhase From, TRequestPhase To) {
    using P = TRequestPhase;
    if (From == To || To == P::Idle || To == P::Running) return true;
    switch (To) {
        // Only a step that ended well leads on to the next one.
        case P::BetweenSteps: return From != P::Idle;
        // A command goes out from a step that runs, or opens a step.
        case P::ReplyOwed: return From == P::Idle || From == P::BetweenSteps || From == P::Running;
        case P::DataOpening: return From == P::Idle || From == P::BetweenSteps || From == P::Running;
        // The transfer command goes out.
        case P::DataReplyOwed: return From == P::DataOpening;
        // Only an owed reply can come, or be lost; a lost one stays lost when
        // the command goes out after all.
        case P::DataReplied: return From == P::DataReplyOwed;
        case P::DataUnsent: return From == P::DataOpening;
        case P::DataUnanswered: return From == P::DataReplyOwed || From == P::DataUnsent;
        default: return false;
    }
}

const char* PhaseName(TRequestPhase Phase) {
    switch (Phase) {
        case TRequestPhase::Idle: return "Idle";
        case TRequestPhase::BetweenSteps: return "BetweenSteps";
        case TRequestPhase::Running: return "Running";
        case TRequestPhase::ReplyOwed: return "ReplyOwed";
        case TRequestPhase::DataOpening: return "DataOpening";
        case TRequestPhase::DataReplyOwed: return "DataReplyOwed";
        case TRequestPhase::DataUnsent: return "DataUnsent";
        case TRequestPhase::DataReplied: return "DataReplied";
        case TRequestPhase::DataUnanswered: return "DataUnanswered";
    }
    return "?";
}
