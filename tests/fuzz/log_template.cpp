// Log template expansion on any template text: constants with widths, fills and alignment, the
// counters, the clock fields and whatever malformed references a configuration may hold.
#include "log/KavLogEngine.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static hv::TLogFile* file = [] {
        static hv::TLogFile f("fuzz.log");
        f.Disabled = true;
        f.AddConstant("Name", "value");
        f.AddConstant("", "");
        f.AddConstant("Long", std::string(300, 'x'));
        return &f;
    }();
    file->ExpandTemplate(hv::fuzz::Text(data, size));
    return 0;
}
