// Start and stop of the platform's socket library, and the count of live
// socket objects.
//
// The library is started lazily: every routine of this layer calls
// WSocketEntryPoint before its first platform call, which runs WSAStartup
// (version 1.1) once. WSocketUnload runs WSACleanup; it runs when the last
// socket object goes away and at program end. Thread-safe.
#pragma once

// Makes sure the platform library is started. Raises ESocketException
// ("wsock32.dll: WSAStartup error #N") when the platform refuses.
void WSocketEntryPoint();
// Stops the platform library when it is started.
void WSocketUnload();
bool WSocketLoaded();

// Live socket objects.
int SocketInstanceCount();
// Called by every socket's constructor and destructor; the release of the
// last instance unloads the library.
void WSocketAddInstance();
void WSocketReleaseInstance();
