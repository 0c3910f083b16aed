#include "ui/gui/design_loading.h"

namespace rk5 {
namespace {
int loading_depth = 0;  // windows may build other windows while loading
}  // namespace

DesignLoading::DesignLoading() { ++loading_depth; }
DesignLoading::~DesignLoading() { --loading_depth; }
bool DesignLoading::Active() { return loading_depth > 0; }

}  // namespace rk5
