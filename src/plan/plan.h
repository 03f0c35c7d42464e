// The plan of levels agreed with the user, and the dialogue that agrees it.
#ifndef PLAN_PLAN_H
#define PLAN_PLAN_H

// Glossary of the plan:
//   dmin_alt   minimum altitude in meters: the first level lies here
//   first_GT   gray tone of the first level, 0 or 1; the next levels count up
//   int_hypso  hypsometric interval in meters, the step from level to level
//   dmax_alt   maximum altitude in meters
//   num_CL     number of levels (contour lines), at most 250; 0 or fewer: none
//   scale      unit of the gray-tone table: 0 meters with decimals, 1 meters,
//              2 decimeters, 3 centimeters, 4 millimeters (whole values)
struct Plan {
    double dmin_alt = 0;
    int first_GT = 0;
    double int_hypso = 0;
    double dmax_alt = 0;
    int num_CL = 0;
    int scale = 0;
};

// Shows the model's altitude range (min_dyn, max_dyn), asks for the four
// values of a plan until its number of levels is acceptable, then for the
// unit of the gray-tone table, and announces the treatment. The "Exit" choice
// ends the run (RunExit with status 0).
Plan ask_plan(double min_dyn, double max_dyn);

#endif
