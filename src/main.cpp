// The helper takes no arguments: everything comes from traffic-helper.json.
#include "common/os.hpp"
#include "helper/run.hpp"

int main() {
    vth::helper_main();
    // The run's last line is written and the log closed. The command reader
    // may still be running, detached: the process ends here, before static
    // destructors could run under it.
    vth::os::end_process(0);
}
