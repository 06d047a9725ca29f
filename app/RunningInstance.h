#pragma once

// The client side of the hand-over between a second start of the program and the instance that
// owns the data folder.
namespace RunningInstance {

// Asks the running instance to show its window; false when nobody took the request in time.
bool requestShow(int timeoutMs);

// True when an instance answers on the local bridge within the time limit.
bool answers(int timeoutMs);

} // namespace RunningInstance
