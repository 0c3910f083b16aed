#include "install/deflate_inflater.h"

namespace rk5 {

std::unique_ptr<DeflateInflater> DeflateInflater::Make() { return nullptr; }

}  // namespace rk5
