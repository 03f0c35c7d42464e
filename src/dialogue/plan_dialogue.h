// The dialogue that agrees the plan of levels with the user.
#ifndef DIALOGUE_PLAN_DIALOGUE_H
#define DIALOGUE_PLAN_DIALOGUE_H

#include "run/plan.h"

// Shows the model's altitude range (min_dyn, max_dyn), asks for the four
// values of a plan until its number of levels is acceptable, then for the
// unit of the gray-tone table, and announces the treatment. The "Exit" choice
// ends the run (RunExit with status 0).
Plan ask_plan(double min_dyn, double max_dyn);

#endif
