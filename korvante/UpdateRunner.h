// Running a product's update command.
#pragma once

// Fills command with the entry's UpdateCommand and directory with its
// WorkingDirectory (each "" when missing or too long for the buffer); either
// buffer may be null. True when there is a command to run.
bool PrepareJob(const char* name, char* command, char* directory);

// Runs the entry's command as a hidden process and waits for it, up to
// UpdateTimeoutSeconds (default 600, at most a day), dispatching the caller's
// messages; a process still running then is ended, with the processes it started
// where the system has job objects. A quit message ends the wait
// early and leaves the process running ("left running"). Records LastOutcome
// ("exit N", "unquoted path", "failed to start", "timed out", "left running" or
// "no command", with the try's number when it counts: see UpdateRetry.h) and
// LastRun in the entry's key, and copies the outcome into status. A failed
// update is given its retry; a one-off entry's time is cleared once its command
// was tried for the last time. True when the command exited with 0.
bool RunJob(const char* name, char* status);
