/* The public header as a C program sees it: it compiles as strict C90, and its
 * names are constant expressions of the values the functions document. */
#include "zdxusbcal.h"

typedef char setup_missing_is_6003[ZDXUSBCAL_SETUP_MISSING == -6003 ? 1 : -1];
typedef char no_driver_is_10[ZDXUSBCAL_LPT_NO_DRIVER == -10 ? 1 : -1];
typedef char last_function_is_4[ZDXUSBCAL_FN_LPT2_READ == 4 ? 1 : -1];

int zdxusbcal_c_header_probe(void) {
    int value = 0;
    return CalCommand(ZDXUSBCAL_FN_PROBE, "", 0, &value) == ZDXUSBCAL_CMD_BAD_FUNCTION;
}
