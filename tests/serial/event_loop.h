#pragma once

namespace korvanteslin::test {

// Runs the event loop for `ms` milliseconds and returns how many times it woke
// up. An idle loop sleeps until its next timer; a loop fed by a storm of
// socket events wakes up thousands of times.
int eventLoopWakeups(int ms);

} // namespace korvanteslin::test
