#pragma once

#include "AnalyzerLinkHost.h"

// Stops the housekeeping timer for the length of one read.
class HousekeepingPause {
public:
    explicit HousekeepingPause(AnalyzerLinkHost& host) : m_host(host) {
        m_host.pauseHousekeeping(true);
    }
    ~HousekeepingPause() { m_host.pauseHousekeeping(false); }
    HousekeepingPause(const HousekeepingPause&) = delete;
    HousekeepingPause& operator=(const HousekeepingPause&) = delete;

private:
    AnalyzerLinkHost& m_host;
};
