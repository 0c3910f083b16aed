#pragma once
// Work that can wait for processors nobody else wants.
namespace rk5::platform {

// From now on the calling thread runs only when a processor would otherwise be idle;
// every other thread of the machine goes first. Best effort: nothing changes where the
// system refuses.
void RunOnlyOnIdleProcessors();

}  // namespace rk5::platform
