#pragma once

// What the operating system still lets this process open.
namespace ProcessResources {

// How many more files, sockets and event-loop wake-up handles the process may open before the
// system refuses; a large number where there is no practical limit.
int spareDescriptors();

} // namespace ProcessResources
