// The one AppState instance.
#include "state/app_state.h"

AppState app;
