// The program's command line on any arguments (the input's NUL bytes separate them).
#include "app/CommandLine.h"
#include "platform/exceptions.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args{""};
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += char(data[i]);
    }
    // A malformed window size is a conversion error, one no window can have a range error; the
    // program reports either and ends. Anything else escaping is a finding.
    try {
        hv::ParseCommandLine(args);
    } catch (const hv::EConvertError&) {
    } catch (const hv::ERangeError&) {
    }
    return 0;
}
