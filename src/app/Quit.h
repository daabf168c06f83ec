#pragma once

// Closes the application's windows and ends the event loop; exec() returns
// the status.
void requestQuit(int status);
