// Program start-up and window flow: the application titled "Tarnwick FTP",
// the site manager created first (the main window), the transfer window
// created hidden, and the hand-over between them.
#pragma once

// Steps 1 to 3 of start-up; needs a TApplication. The event loop (step 4)
// is Application->Run().
void StartUp();
