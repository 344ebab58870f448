#include "app/app_state.h"

#include <memory>

ApplicationState AppState;

// The record holds an object with an interface table, so it is rebuilt in place
// rather than overwritten with zero bytes.
void ResetAppState() {
    std::destroy_at(&AppState);
    std::construct_at(&AppState);
}
