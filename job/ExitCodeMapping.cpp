#include "job/ExitCodeMapping.h"

#include <algorithm>
#include <initializer_list>

namespace qvd::job {
namespace {

bool OneOf(uint32_t code, std::initializer_list<uint32_t> set) {
    return std::find(set.begin(), set.end(), code) != set.end();
}

ExitCodeOutcome State(int32_t state) {
    ExitCodeOutcome o;
    o.state = state;
    return o;
}

ExitCodeOutcome Reported(int32_t state, uint32_t code, unsigned line) {
    ExitCodeOutcome o = State(state);
    o.reportsError = true;
    o.errorCode = code;
    o.errorLine = line;
    return o;
}

ExitCodeOutcome Restart(int32_t state) {
    ExitCodeOutcome o = State(state);
    o.restartNeeded = true;
    return o;
}

}  // namespace

ExitCodeOutcome MapInstallerExitCode(uint32_t e, bool installed) {
    if (e == kExitInstallerDeclined) {
        ExitCodeOutcome o = Reported(10, 0x80047F24, 1092);
        o.reportsStatus = true;
        o.status = 18;
        return o;
    }
    if (e == 0) return State(installed ? 3 : 6);
    if (OneOf(e, {0x80070642, 0x80170642, 0x80047C09, 0x80047C13, 0x80047C14})) return State(6);
    if (OneOf(e, {0x80070669, 0x00047C03, 0x00047C04})) return Restart(4);
    if (OneOf(e, {0x80070BC2, 0x00047C05})) return Restart(5);
    if (OneOf(e, {0x8017000C, 0x80047C05, 0x80047C02, 0x00047C02})) return State(7);
    if (OneOf(e, {0x80170002, 0x80070070, 0x80047C01})) return Reported(8, e, 1153);
    if (e >= 0x80047D70 && e <= 0x80047D73) return Reported(-3, e, 1163);
    return Reported(-1, 0x80047F23, 1170);
}

}  // namespace qvd::job
