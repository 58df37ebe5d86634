// The drag-and-drop source objects. No drag exists yet, so there are no
// tables to fill.
#include "shots/shots.h"

void prepareDragDropTables() {}
