#include "shared/state.h"

#include <memory>

DefinBEM g{};

void ResetState() {
  // In place: the state is megabytes, too large for a temporary on the stack,
  // and other code keeps references into it.
  std::destroy_at(&g);
  std::construct_at(&g);
}
