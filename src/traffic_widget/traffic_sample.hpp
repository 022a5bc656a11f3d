#pragma once

namespace vth {

// One point of the traffic graph, in the GUI's units: time, upload and
// download rate. Taken over from the wire field for field, never validated.
struct TrafficSample {
    double t = 0.0;
    double up = 0.0;
    double down = 0.0;
};

}  // namespace vth
