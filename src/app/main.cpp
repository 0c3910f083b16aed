#include <cstdio>
#include <string>
#include <vector>

#include "app/mode_plan.h"

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  rk5::ModePlan plan = rk5::PlanForMode(mode);
  for (auto kind : plan.windows) {
    std::fprintf(stderr, "%s\n", std::string(rk5::WindowClassName(kind)).c_str());
  }
  return 0;
}
