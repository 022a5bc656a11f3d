// The helper takes no arguments: everything comes from traffic-helper.json.
#include "helper/run.hpp"

int main() {
    vth::helper_main();
    return 0;
}
