// The one AppState instance.
#include "app/app_state.h"

AppState app;
