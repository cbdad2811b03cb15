// Checks return an outcome and show nothing: these tests show the refusal's box
// as the sequence would, so that one assertion covers the check and its box.
#ifndef SETUP_TESTS_UNIT_REFUSAL_H
#define SETUP_TESTS_UNIT_REFUSAL_H

#include "core/messages.h"
#include "core/result_codes.h"

// Shows the box of a refusal; 1 when the check let the run go on.
inline int GoesOnOrShows(const RunOutcome& end)
{
    ShowRefusalBox(0, &end);
    return end.outcome == OUTCOME_GO_ON ? 1 : 0;
}

// Shows the box of a refusal; the classic result of the outcome.
inline int ResultShowingRefusal(const RunOutcome& end)
{
    ShowRefusalBox(0, &end);
    return OutcomeResult(&end);
}

#endif
