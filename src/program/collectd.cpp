// tarvo-collectd: the collector without a window, as the service runs it. It links no GUI library.
#include "LocalTimeZone.h"
#include "ProgramStart.h"

int main(int argc, char** argv) {
    readLocalTimeZoneOnce();
    const CommandLine commandLine = CommandLine::parse(ProgramStart::argumentsOf(argc, argv));
    return ProgramStart::runHeadless(argc, argv, commandLine, QStringLiteral("tarvo-collectd"));
}
