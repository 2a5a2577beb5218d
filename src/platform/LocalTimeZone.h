#pragma once

// Makes local-time conversions read the system's time zone once per run. Where no time zone is
// set in the environment, the C library looks at the system's time zone file again for every
// conversion (a file system call per time stamp); naming that same file in the environment lets
// it keep what it read. The zone stays the system's; a change of the system's zone is seen after
// a restart. Call at start-up, before any other thread runs.
void readLocalTimeZoneOnce();
