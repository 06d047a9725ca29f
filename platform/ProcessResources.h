#pragma once

// What the operating system still lets this process open.
namespace ProcessResources {

// How many more files, sockets and event-loop wake-up handles the process may open before the
// system refuses; a large number where there is no practical limit.
int spareDescriptors();

// Raises the process's limit of open files to the most the system lets it have, as servers do:
// every connection, download and thread costs descriptors, and the usual default of 1024 is a
// limit meant for programs that still use select().
void raiseDescriptorLimit();

} // namespace ProcessResources
