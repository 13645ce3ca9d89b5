// Internal to the platform stand-in: the end of the asynchronous lookups.
#pragma once

namespace winsock {

// Drops every pending lookup (none delivers afterwards) and joins the lookup
// threads, waiting for one that is in the system's resolver. Called by the
// library's last clean-up; lookups started later get new threads.
void StopAsyncLookups();

}  // namespace winsock
