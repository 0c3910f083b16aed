#include "app/run_state.h"

namespace rk5 {

RunState& TheRunState() {
  static RunState state;
  return state;
}

}  // namespace rk5
