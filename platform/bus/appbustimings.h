#ifndef BUS_APPBUSTIMINGS_H
#define BUS_APPBUSTIMINGS_H

namespace bus {

// How long the client waits for what, in milliseconds.
struct AppBusTimings
{
    // A connection quiet for this long is probed with a ping.
    int keepAliveMs = 300000;
    // A begun frame, the peer's welcome and the pong to a ping must arrive
    // within this time, or the peer is taken as stalled.
    int frameTimeoutMs = 30000;
    // Time given to a TCP connect and the greeting that follows it.
    int connectTimeoutMs = 3000;
    // Pause before the next attempt after a connection failed or was lost.
    int reconnectMs = 2000;
    // Time given to the peer to hand out one shared object.
    int loadTimeoutMs = 10000;
};

} // namespace bus

#endif
