#pragma once
// The hand-over of a self-update between two copies: the copy that fetched a new build
// holds a mark from just before it starts that build until it has ended; the new build,
// running "/update", waits for the mark to go before it replaces the program's
// executable. A copy that ends in any way lets go of the mark with it.
#include <chrono>
#include <memory>

#include "platform/busy_marks.h"

namespace rk5 {

// How long "/update" waits for the copy that started it to end.
inline constexpr std::chrono::milliseconds kHandOverWait{10000};

// Taken by the copy that hands over; nullptr when the marks cannot be used or another
// copy is handing over already (the hand-over goes ahead without the wait then).
std::unique_ptr<platform::BusyMark> HoldHandOver(platform::BusyMarks& marks);

// Returns once no live copy holds the hand-over mark, or when limit has passed; true in
// the first case.
bool WaitForHandOver(platform::BusyMarks& marks, std::chrono::milliseconds limit = kHandOverWait);

}  // namespace rk5
